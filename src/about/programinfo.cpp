// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/programinfo.h"

namespace rxdeck {

QString ProgramInfo::versionNumber() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString ProgramInfo::versionLine() const
{
    return QStringLiteral("Version ") + versionNumber();
}

ProgramInfo rxdeckInfo()
{
    return {QStringLiteral("Rxdeck"), RXDECK_VERSION_MAJOR, RXDECK_VERSION_MINOR,
            RXDECK_VERSION_PATCH};
}

} // namespace rxdeck
