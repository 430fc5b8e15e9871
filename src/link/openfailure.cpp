// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/openfailure.h"

#include "link/linesettings.h"

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
    case OpenFailure::Kind::BadAddress:
        return QStringLiteral("%1 is not a serial server address: write socket://HOST:PORT or "
                              "rfc2217://HOST:PORT.")
            .arg(device);
    case OpenFailure::Kind::HostNotFound:
        return QStringLiteral("Host name not found: %1.").arg(device);
    case OpenFailure::Kind::ConnectionRefused:
        return QStringLiteral("Connection refused by %1: is the serial server running on that "
                              "port?")
            .arg(device);
    case OpenFailure::Kind::TimedOut:
        return QStringLiteral("No answer from %1: timed out.").arg(device);
    case OpenFailure::Kind::Rfc2217Refused:
        return QStringLiteral("%1 refused RFC 2217 serial settings (%2): %3.")
            .arg(device, lineSettingsText(), failure.systemText);
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
