// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace rxdeck::signalwatch {

// The frequencies of a band sweep: from the low one up by a step, up to the high
// one where it falls on a step.
struct SweepPlan
{
    static constexpr qint64 lowestHz = 0;
    static constexpr qint64 highestHz = 30'000'000;
    static constexpr int mostBins = 100'000;

    qint64 fromHz = 0;
    qint64 toHz = 0;
    qint64 stepHz = 1;

    // A plan within the receiver's range with a positive step and at most mostBins
    // frequencies, or none with the reason in `error`.
    static std::optional<SweepPlan> make(qint64 fromHz, qint64 toHz, qint64 stepHz,
                                         QString* error = nullptr);

    int bins() const { return int((toHz - fromHz) / stepHz) + 1; }
    qint64 frequencyAt(int bin) const { return fromHz + bin * stepHz; }
    // The bin nearest a frequency, clamped to the plan.
    int binNear(qint64 hz) const;
};

// One sweep's readings, bin by bin.
struct SweepRow
{
    QDateTime started;
    SweepPlan plan;
    std::vector<double> dbm;

    // The row as rtl_power writes it: "date, time, Hz low, Hz high, Hz step, samples,
    // dB, dB, …" with a line feed. Hz high is where the last bin ends, as there, and the
    // time is local, as there.
    QByteArray rtlPowerLine() const;
};

// The higher of two readings, bin by bin; a bin the peak has not seen takes the reading.
void holdPeaks(std::vector<double>& peaks, const std::vector<double>& readings);

} // namespace rxdeck::signalwatch
