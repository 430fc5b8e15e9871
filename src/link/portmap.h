// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rxdeck {

inline constexpr int commPortCount = 4;

// The device behind menu item "Comm n": the environment variable RXDECK_COMMn when
// it is set (USB adapters, the simulator's pseudo-terminal), otherwise COMn on
// Windows and /dev/ttyS(n-1) elsewhere.
QString commDevice(int port);

} // namespace rxdeck
