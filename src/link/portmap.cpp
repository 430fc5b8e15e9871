// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/portmap.h"

#include <QtGlobal>

namespace rxdeck {

QString commDevice(int port)
{
    const QString override =
        qEnvironmentVariable(QStringLiteral("RXDECK_COMM%1").arg(port).toLatin1().constData());
    if (!override.isEmpty())
        return override;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace rxdeck
