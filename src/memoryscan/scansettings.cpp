// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/scansettings.h"

#include <algorithm>
#include <QSettings>

namespace rxdeck::memoryscan {

Settings loadSettings(const QSettings& store)
{
    Settings s;
    s.squelchThreshold =
        store.value(QStringLiteral("memoryScan/threshold"), QStringLiteral("squelch")).toString() !=
        QStringLiteral("level");
    // A hand-edited file may hold anything; keep each value in its control's range.
    s.levelDbm = std::clamp(
        store.value(QStringLiteral("memoryScan/levelDbm"), s.levelDbm).toDouble(), -140.0, 0.0);
    s.hangMs =
        std::clamp(store.value(QStringLiteral("memoryScan/hangMs"), s.hangMs).toInt(), 0, 60000);
    s.dwellMs =
        std::clamp(store.value(QStringLiteral("memoryScan/dwellMs"), s.dwellMs).toInt(), 0, 30000);
    return s;
}

void saveSettings(QSettings& store, const Settings& s)
{
    store.setValue(QStringLiteral("memoryScan/threshold"),
                   s.squelchThreshold ? QStringLiteral("squelch") : QStringLiteral("level"));
    store.setValue(QStringLiteral("memoryScan/levelDbm"), s.levelDbm);
    store.setValue(QStringLiteral("memoryScan/hangMs"), s.hangMs);
    store.setValue(QStringLiteral("memoryScan/dwellMs"), s.dwellMs);
}

} // namespace rxdeck::memoryscan
