// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/memoryscanner.h"

class QSettings;

namespace rxdeck::memoryscan {

// The scan's settings as kept between runs, under "memoryScan/".
Settings loadSettings(const QSettings& store);
void saveSettings(QSettings& store, const Settings& settings);

} // namespace rxdeck::memoryscan
