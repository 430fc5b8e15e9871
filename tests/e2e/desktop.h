// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The X display and what a person does on it: find windows, move the mouse, click, type, look.
// Everything goes through xdotool and ImageMagick's import, as separate processes.

#include <QImage>
#include <QPoint>
#include <QRect>

#include <optional>
#include <string>
#include <vector>

namespace rxdeck::e2e {

// Makes sure DISPLAY names a display xdotool can use, starting a private Xvfb when DISPLAY is
// unset. Returns why there is none, or nothing when all is well. Safe to call repeatedly.
std::optional<std::string> unavailableDisplay();

using WindowId = std::string; // as xdotool prints it

namespace xdo {

// Window ids matching all of the xdotool search criteria, e.g. {"--pid", "42", "--name", "^A"}.
std::vector<WindowId> search(const std::vector<std::string>& criteria);

std::optional<QRect> geometry(const WindowId& window);
void moveTo(const WindowId& window, QPoint topLeft);

void click(QPoint at);
void press(QPoint at);
// Turns the mouse wheel by `notches`: positive away from the user (button 4), negative
// towards (button 5).
void wheel(QPoint at, int notches);
void release();
// Button held from `from` to `to`, passing through a few points on the way.
void drag(QPoint from, QPoint to);

void key(const std::string& keys); // e.g. "ctrl+a"
void type(const std::string& text);

} // namespace xdo

// The window's current image (or the whole screen for "root").
QImage screenshot(const WindowId& window);

} // namespace rxdeck::e2e
