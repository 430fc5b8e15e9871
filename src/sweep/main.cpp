// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/numbertext.h"
#include "signalwatch/sweepplan.h"
#include "sweep/sweepcommand.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int)
{
    interrupted = true;
}

int refuse(const QString& reason)
{
    std::fprintf(stderr, "rxdeck-sweep: %s\n", qPrintable(reason));
    return 2;
}

// A number of `unit` Hz, as given on the command line.
std::optional<qint64> hertz(const QString& text, double unit)
{
    const std::optional<double> value = rxdeck::numberOfText(text);
    if (!value || !std::isfinite(*value) || std::abs(*value * unit) > 1e12)
        return std::nullopt;
    return std::llround(*value * unit);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rxdeck-sweep"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RXDECK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sweeps the receiver over a band: tunes each step, reads the signal level and writes\n"
        "one row per sweep in rtl_power's layout:\n"
        "  date, time, Hz low, Hz high, Hz step, samples, dB, dB, ...\n"
        "When the sweep ends the receiver goes back to the frequency it had."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The receiver's serial device, or a serial "
                                                 "server as socket://HOST:PORT or "
                                                 "rfc2217://HOST:PORT."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("Lowest frequency."),
                                  QStringLiteral("MHZ"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Highest frequency."),
                                QStringLiteral("MHZ"));
    const QCommandLineOption step(QStringLiteral("step"), QStringLiteral("Step."),
                                  QStringLiteral("KHZ"));
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("Sweep N times (default 1; 0 until Ctrl-C)."),
                                    QStringLiteral("N"));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("Start a sweep every SECONDS until Ctrl-C (or --repeat times)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Append the rows to FILE instead of standard "
                                                   "output."),
                                    QStringLiteral("FILE"));
    parser.addOptions({port, from, to, step, repeat, interval, output});
    parser.process(app);

    for (const QCommandLineOption* needed : {&port, &from, &to, &step})
        if (!parser.isSet(*needed))
            return refuse(QStringLiteral("--%1 is needed (see --help)").arg(needed->names()[0]));
    rxdeck::sweep::Request request;
    request.port = parser.value(port);
    const std::optional<qint64> fromHz = hertz(parser.value(from), 1e6);
    const std::optional<qint64> toHz = hertz(parser.value(to), 1e6);
    const std::optional<qint64> stepHz = hertz(parser.value(step), 1e3);
    if (!fromHz || !toHz || !stepHz)
        return refuse(QStringLiteral("--from, --to and --step want numbers"));
    QString reason;
    const auto plan = rxdeck::signalwatch::SweepPlan::make(*fromHz, *toHz, *stepHz, &reason);
    if (!plan)
        return refuse(reason);
    request.plan = *plan;
    if (parser.isSet(interval)) {
        const std::optional<double> seconds = rxdeck::numberOfText(parser.value(interval));
        if (!seconds || *seconds < 0 || *seconds > 86400)
            return refuse(QStringLiteral("--interval wants seconds from 0 to 86400"));
        request.intervalMs = int(std::lround(*seconds * 1000));
        request.sweeps = 0;
    }
    if (parser.isSet(repeat)) {
        bool valid = false;
        request.sweeps = parser.value(repeat).toInt(&valid);
        if (!valid || request.sweeps < 0)
            return refuse(QStringLiteral("--repeat wants a count, 0 for until Ctrl-C"));
    }

    QFile out;
    if (parser.isSet(output)) {
        out.setFileName(parser.value(output));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            std::fprintf(stderr, "rxdeck-sweep: cannot write %s: %s\n",
                         qPrintable(parser.value(output)), qPrintable(out.errorString()));
            return 1;
        }
    } else if (!out.open(stdout, QIODevice::WriteOnly)) {
        return 1;
    }

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    rxdeck::sweep::SweepCommand command(request, out);
    QObject::connect(
        &command, &rxdeck::sweep::SweepCommand::done, &app,
        [](int status) { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &command, [&command, &watch] {
        if (interrupted) {
            watch.stop();
            command.interrupt();
        }
    });
    watch.start(50);
    QTimer::singleShot(0, &command, &rxdeck::sweep::SweepCommand::start);
    return QCoreApplication::exec();
}
