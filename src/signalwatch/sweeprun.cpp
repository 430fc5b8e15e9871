// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/sweeprun.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/serialport.h"
#include "status/replies.h"
#include "status/replyreader.h"

#include <cmath>

namespace rxdeck::signalwatch {
namespace {

// Replies arrive a character at a time at 9600 baud; looking often keeps the sweep at
// the line's pace. Between sweeps there is only the clock to watch.
constexpr int tickMs = 2;
constexpr int restingTickMs = 20;

QByteArray tuneLine(qint64 hz)
{
    return commands::frequency(frequencyText(double(hz) / 1e6));
}

} // namespace

SweepRun::SweepRun(SerialPort& port, ReplyReader& reader, QObject* parent)
    : QObject(parent), port_(port), reader_(reader)
{
    ticker_.setInterval(tickMs);
    connect(&ticker_, &QTimer::timeout, this, &SweepRun::tick);
}

void SweepRun::start(const SweepPlan& plan, int sweeps, int intervalMs)
{
    if (running())
        stop();
    plan_ = plan;
    sweepsLeft_ = sweeps > 0 ? sweeps : -1;
    intervalMs_ = std::max(intervalMs, 0);
    returnHz_ = -1;
    tries_ = 0;
    state_ = State::Probing;
    ticker_.setInterval(tickMs);
    // A reply on its way from before answers nothing of ours.
    reader_.take(replies::ReplyKind::Status);
    ticker_.start();
    emit started();
    ask();
}

void SweepRun::stop()
{
    if (running())
        end(QString());
}

void SweepRun::ask()
{
    if (!port_.portOpen()) {
        end(tr("The port closed."));
        return;
    }
    port_.output(commands::statusQuery());
    query_ = reader_.statusQueries();
    reader_.statusQuerySent();
    asked_.start();
}

void SweepRun::tuneAndAsk()
{
    if (!port_.portOpen()) {
        end(tr("The port closed."));
        return;
    }
    port_.output(tuneLine(plan_.frequencyAt(bin_)));
    ticker_.setInterval(tickMs);
    tries_ = 0;
    wrongFrequency_ = false;
    ask();
}

void SweepRun::tick()
{
    if (state_ == State::Resting) {
        if (sweepStarted_.isValid() && sweepStarted_.elapsed() < intervalMs_)
            return;
        state_ = State::Stepping;
        bin_ = 0;
        row_ = {QDateTime::currentDateTimeUtc(), plan_, {}};
        sweepStarted_.start();
        tuneAndAsk();
        return;
    }
    const ReplyReader::Taken taken = reader_.take(replies::ReplyKind::Status);
    std::optional<replies::Status> status = taken.text.isEmpty() || taken.reply < query_
                                                ? std::nullopt
                                                : replies::checkedStatus(taken.text);
    // A reply from another frequency answers a query asked before the tuning, such as one a
    // program that used the line before left on its way; the reply for this bin follows.
    if (status && state_ == State::Stepping &&
        std::llround(decimalValue(status->frequency) * 1e6) != plan_.frequencyAt(bin_)) {
        status.reset();
        wrongFrequency_ = true;
    }
    if (!status) {
        if (asked_.elapsed() < replyTimeoutMs + port_.replyWaitMs())
            return;
        if (++tries_ >= attempts) {
            end(wrongFrequency_ ? tr("The receiver does not tune to %1 MHz.")
                                      .arg(frequencyText(double(plan_.frequencyAt(bin_)) / 1e6))
                                : tr("The receiver does not answer."));
            return;
        }
        ask();
        return;
    }
    tries_ = 0;
    if (state_ == State::Probing) {
        returnHz_ = std::llround(decimalValue(status->frequency) * 1e6);
        state_ = State::Resting;
        sweepStarted_.invalidate(); // the first sweep starts at once
        tick();
        return;
    }
    const double dbm = decimalValue(status->signal);
    row_.dbm.push_back(dbm);
    emit stepRead(bin_, plan_.frequencyAt(bin_), dbm);
    if (++bin_ < plan_.bins()) {
        tuneAndAsk();
        return;
    }
    emit rowFinished(row_);
    if (sweepsLeft_ > 0 && --sweepsLeft_ == 0) {
        end(QString());
        return;
    }
    state_ = State::Resting;
    ticker_.setInterval(restingTickMs);
}

void SweepRun::end(const QString& error)
{
    ticker_.stop();
    const bool tuned = state_ != State::Probing && returnHz_ >= 0;
    state_ = State::Idle;
    if (tuned && port_.portOpen())
        port_.output(tuneLine(returnHz_));
    emit finished(error);
}

} // namespace rxdeck::signalwatch
