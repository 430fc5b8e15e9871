// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/sweepplan.h"

#include <algorithm>
#include <cmath>
#include <QCoreApplication>

namespace rxdeck::signalwatch {

std::optional<SweepPlan> SweepPlan::make(qint64 fromHz, qint64 toHz, qint64 stepHz, QString* error)
{
    const auto refuse = [error](const char* reason) -> std::optional<SweepPlan> {
        if (error)
            *error = QCoreApplication::translate("SweepPlan", reason);
        return std::nullopt;
    };
    if (fromHz < lowestHz || toHz > highestHz)
        return refuse("the receiver tunes from 0 to 30 MHz");
    if (fromHz > toHz)
        return refuse("the low frequency is above the high one");
    if (stepHz <= 0)
        return refuse("the step must be more than 0");
    if ((toHz - fromHz) / stepHz >= mostBins)
        return refuse("more than 100000 steps: choose a larger step");
    return SweepPlan{fromHz, toHz, stepHz};
}

int SweepPlan::binNear(qint64 hz) const
{
    const double bin = std::round(double(hz - fromHz) / double(stepHz));
    return int(std::clamp(bin, 0.0, double(bins() - 1)));
}

QByteArray SweepRow::rtlPowerLine() const
{
    const QDateTime local = started.toLocalTime();
    QByteArray line = local.toString(QStringLiteral("yyyy-MM-dd, HH:mm:ss")).toLatin1();
    line += ", " + QByteArray::number(plan.fromHz) + ", " +
            QByteArray::number(plan.fromHz + qint64(dbm.size()) * plan.stepHz) + ", " +
            QByteArray::number(double(plan.stepHz), 'f', 2) + ", 1";
    for (const double value : dbm)
        line += ", " + QByteArray::number(value, 'f', 2);
    return line + '\n';
}

void holdPeaks(std::vector<double>& peaks, const std::vector<double>& readings)
{
    for (std::size_t i = 0; i < readings.size(); ++i) {
        if (i >= peaks.size())
            peaks.push_back(readings[i]);
        else
            peaks[i] = std::max(peaks[i], readings[i]);
    }
}

} // namespace rxdeck::signalwatch
