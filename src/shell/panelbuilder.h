// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/controls.h"

#include <QRect>

class QWidget;

namespace rxdeck {

// Screen positions are laid out in twips, 15 to a pixel at 96 dots per inch; Qt
// scales the pixels for high-DPI screens.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// Maps the Windows font names of the panel's design to faces found on this system.
void installFontSubstitutes();

// Creates every control of the front panel on `panel` with its caption, initial
// content, colours, fonts, position and size, and fills `ui`. Nothing is wired.
void buildPanel(QWidget* panel, Controls& ui);

// Where the memory grid goes on the panel.
QRect memoryGridGeometry();

// Sets the keyboard order of the panel's controls.
void setTabOrder(const Controls& ui);

} // namespace rxdeck
