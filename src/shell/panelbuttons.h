// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <QPushButton>

namespace rxdeck {

// A step button of the tuning frame. The mouse steps it through its press and release
// (panel/tuning.h); its shortcut and a screen reader's press action ask for one step
// through stepRequested(). Its own keys (space) do nothing.
class TuningButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    void requestStep() { emit stepRequested(); }

signals:
    void stepRequested();
};

// One of a group of buttons that choose a setting (mode, bandwidth, RF path, AGC). It
// looks and clicks like a plain button; assistive technology reads it as checked while
// the receiver has its setting, as the panel's lamps or readout show it.
class ChoiceButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    void setChosenWhen(std::function<bool()> chosen) { chosen_ = std::move(chosen); }
    bool isChosen() const { return chosen_ && chosen_(); }
    // The setting may have changed: tell assistive technology.
    void chosenMayHaveChanged();

private:
    std::function<bool()> chosen_;
};

} // namespace rxdeck
