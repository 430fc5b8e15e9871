// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

namespace rxdeck {

struct Controls;

// What the display shows when no reading comes from the receiver, so that nothing
// stale looks live.

// The S-meter at rest: no signal in its box and every lamp dark.
void showNoSignal(const Controls& ui);
// No port is open: "Serial port?" and the meter at rest, as at start-up.
void showNoPort(const Controls& ui);
// The port is open but reads come back empty: "No serial" and the meter at rest.
void showNoSerial(const Controls& ui);
// The texts these write.
WrittenTextTable restingDisplayTexts();

} // namespace rxdeck
