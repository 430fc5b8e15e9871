// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rxdeck {

// Why a serial device could not be opened, in the terms the user can act on.
struct OpenFailure
{
    enum class Kind
    {
        NoSuchDevice,
        PermissionDenied,
        InUse,
        // Serial servers on the network.
        BadAddress,
        HostNotFound,
        ConnectionRefused,
        TimedOut,
        Rfc2217Refused,
        Other,
    };
    Kind kind = Kind::Other;
    QString systemText; // the system's own words, shown for Other; details for Rfc2217Refused
};

// One line for the port warning: what went wrong with `device` and, where there is
// one, how to put it right.
QString openFailureReason(const OpenFailure& failure, const QString& device);

} // namespace rxdeck
