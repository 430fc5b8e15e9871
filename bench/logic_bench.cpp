// SPDX-License-Identifier: GPL-3.0-or-later
// Time per call of the pure logic on the paths the program runs often: the status reply
// decoded every 100 ms, the settings reply once per port choice, number texts on every
// tuning step, and the scan start line.

#include "link/commands.h"
#include "link/numbertext.h"
#include "signalwatch/signalhistory.h"
#include "signalwatch/signallog.h"
#include "status/replies.h"

#include <benchmark/benchmark.h>
#include <QString>
#include <QTemporaryDir>

namespace {

using namespace rxdeck;

const QString statusReply = QStringLiteral("FRQ 14.200000;DET 4;SGV -100.0;BWS 2\n");
const QString settingsReply =
    QStringLiteral("RFP 1;AGC 1;RFG 100;FRA 07.000000;FRB 07.300000;SQL 100;BLK 05;"
                   "SDW 02.5;INC 10.000;PBT +1000;BFO -0500\n");

void decodeStatusReply(benchmark::State& state)
{
    for (auto _ : state) {
        replies::Status status = replies::decodeStatus(statusReply);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(decodeStatusReply);

// Everything one status-poll tick works out from a reply: fields, display text, S-meter.
void statusPollTick(benchmark::State& state)
{
    for (auto _ : state) {
        const replies::Status status = replies::decodeStatus(statusReply);
        QString label = replies::groupedFrequency(status.frequency);
        auto lit = replies::sMeter(decimalValue(status.signal));
        benchmark::DoNotOptimize(label);
        benchmark::DoNotOptimize(lit);
    }
}
BENCHMARK(statusPollTick);

// What the signal history and the signal log add to each status reply: a reading into
// the full ring, a row into the log's buffer, and the log's write once a second (one
// in ten replies' worth, as the poll gives ten a second).
void signalWatchReading(benchmark::State& state)
{
    signalwatch::SignalHistory history;
    signalwatch::SignalLog log;
    QTemporaryDir folder;
    log.start(folder.filePath(QStringLiteral("signal.csv")));
    const ReceiverStatus status{14'200'000, 4, 3, -100, 0};
    for (std::size_t i = 0; i < history.capacity(); ++i)
        history.addNow(status);
    int reading = 0;
    for (auto _ : state) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        history.add(status, now);
        log.add(status, now);
        if (++reading % 10 == 0)
            log.flush();
    }
}
BENCHMARK(signalWatchReading);

void decodeSettingsReply(benchmark::State& state)
{
    for (auto _ : state) {
        replies::Settings settings = replies::decodeSettings(settingsReply);
        benchmark::DoNotOptimize(settings);
    }
}
BENCHMARK(decodeSettingsReply);

void frequencyTextOfDouble(benchmark::State& state)
{
    double value = 14.2 + 0.009;
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        QString text = frequencyText(value);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(frequencyTextOfDouble);

void decimalValueOfText(benchmark::State& state)
{
    const QString text = QStringLiteral(" 14.200000");
    for (auto _ : state) {
        double value = decimalValue(text);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(decimalValueOfText);

void scanStartLine(benchmark::State& state)
{
    const QString high = QStringLiteral("07.300000");
    const QString low = QStringLiteral("07.000000");
    for (auto _ : state) {
        QByteArray line = commands::scanStart(high, low);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(scanStartLine);

} // namespace

BENCHMARK_MAIN();
