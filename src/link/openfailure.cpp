// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/openfailure.h"

namespace rxdeck {

QString openFailureReason(const OpenFailure& failure, const QString& device)
{
    switch (failure.kind) {
    case OpenFailure::Kind::NoSuchDevice:
        return QStringLiteral("No such device: %1.").arg(device);
    case OpenFailure::Kind::PermissionDenied:
#ifdef Q_OS_LINUX
        return QStringLiteral("Permission denied for %1: add your user to the \"dialout\" group, "
                              "then log in again.")
            .arg(device);
#else
        return QStringLiteral("Permission denied for %1.").arg(device);
#endif
    case OpenFailure::Kind::InUse:
        return QStringLiteral("%1 is in use by another program.").arg(device);
    case OpenFailure::Kind::Other:
        break;
    }
    if (failure.systemText.isEmpty())
        return QStringLiteral("%1 could not be opened.").arg(device);
    const QString sentence =
        failure.systemText.endsWith(u'.') ? failure.systemText : failure.systemText + u'.';
    return QStringLiteral("%1: %2").arg(device, sentence);
}

} // namespace rxdeck
