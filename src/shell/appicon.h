// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

namespace rxdeck {

// The program's icon: a small receiver front panel with a blue frequency
// window, three lamps and a tuning knob, drawn in sixteen-colour style.
// The main window, the memories help window and the About box all use it.

// The icon at 16, 32, 48 and 64 pixels, each size drawn from the same design.
QIcon appIcon();

// The 32 x 32 picture of the icon.
QPixmap appIconPixmap();

// The icon drawn at size x size pixels, for the desktop's icon theme.
QPixmap appIconPixmap(int size);

} // namespace rxdeck
