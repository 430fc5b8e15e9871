// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

namespace rxdeck {

NetworkControlRequest takeNetworkControl(QStringList& arguments, quint16 defaultPort)
{
    const QString option = QStringLiteral("--rigctld");
    NetworkControlRequest request;
    QStringList rewritten;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // "--" ends the options; whatever follows is not ours to read.
        if (i > 0 && argument == QStringLiteral("--")) {
            rewritten += arguments.mid(i);
            break;
        }
        QString value;
        if (i > 0 && argument == option) {
            const bool valueFollows =
                i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(u'-');
            value = valueFollows ? arguments.at(++i) : QString::number(defaultPort);
        } else if (i > 0 && argument.startsWith(option + u'=')) {
            value = argument.mid(option.size() + 1);
        } else {
            rewritten += argument;
            continue;
        }
        rewritten += option + u'=' + value;
        request.asked = true;
        bool valid = false;
        const uint port = value.toUInt(&valid);
        if (valid && port >= 1 && port <= 65535) {
            request.port = quint16(port);
            request.badValue.clear();
        } else {
            request.port.reset();
            request.badValue = value;
        }
    }
    arguments = rewritten;
    return request;
}

} // namespace rxdeck
