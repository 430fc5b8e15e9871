// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <QPointer>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace rxdeck {

class FrameBox;
class Led;
class Slider;

// The front panel's controls by their names: Command[13] is `Command13`,
// LED[20] is `LED20`, Timer[12] is `Timer12`. Index 0, and numbers the panel does
// not use, hold nothing. The window owns every control; handlers reach them here.
struct Controls
{
    std::array<QPushButton*, 42> Command{};
    std::array<Slider*, 8> HScroll{};
    std::array<QLineEdit*, 6> Text{};
    std::array<QLabel*, 12> Label{};
    std::array<FrameBox*, 17> Frame{};
    std::array<QTimer*, 13> Timer{};
    std::array<Led*, 27> LED{};
    std::array<QAction*, 5> Comm{}; // the "Serial port" menu's items
    QAction* openAtStart = nullptr; // the menu's "Open at start"
    QAction* mnuMemorieshelp = nullptr;
    QAction* About = nullptr;
    QWidget* DBGrid1 = nullptr; // the memory grid's place on the panel
};

} // namespace rxdeck
