// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace rxdeck {

// Lets assistive technology read and operate the panel's own controls: the sliders by
// the value they show, the lamps by their group's state, the choice buttons as checked
// or not, the step buttons' press as one step, the frequency display in megahertz.
// Safe to call more than once.
void installPanelAccessibility();

} // namespace rxdeck
