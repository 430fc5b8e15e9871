// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/panelbuttons.h"

#include <QAccessible>

namespace rxdeck {

void ChoiceButton::chosenMayHaveChanged()
{
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace rxdeck
