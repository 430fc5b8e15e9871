// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace rxdeck {

// The large frequency display Label1. It shows the frequency grouped by thousands
// (" 14.200.000"); assistive technology reads it in megahertz ("14.200000 MHz"), and
// any other text ("Serial port?") as it stands.
class FrequencyDisplay : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    QString spokenText() const;
};

} // namespace rxdeck
