// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frequencydisplay.h"

namespace rxdeck {

QString FrequencyDisplay::spokenText() const
{
    // " 14.200.000": megahertz, kilohertz and hertz.
    QString digits = text();
    digits.remove(u'.').remove(u' ');
    bool number = false;
    const qlonglong hertz = digits.toLongLong(&number);
    if (!number)
        return text().trimmed();
    return QStringLiteral("%1 MHz").arg(double(hertz) / 1e6, 0, 'f', 6);
}

} // namespace rxdeck
