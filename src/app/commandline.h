// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace rxdeck {

// What the command line asks of network control. "--rigctld PORT" and
// "--rigctld=PORT" both name the port; "--rigctld" followed by another option or by
// nothing means the default port. The last one given counts.
struct NetworkControlRequest
{
    bool asked = false;
    std::optional<quint16> port; // asked, with a port from 1 to 65535
    QString badValue;            // asked, with something that is not a port
};

// Reads --rigctld out of the arguments (program name first) and rewrites each of
// its forms as "--rigctld=VALUE", the one form QCommandLineParser then accepts.
NetworkControlRequest takeNetworkControl(QStringList& arguments, quint16 defaultPort);

} // namespace rxdeck
