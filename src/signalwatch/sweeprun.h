// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signalwatch/sweepplan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace rxdeck {
class ReplyReader;
class SerialPort;
} // namespace rxdeck

namespace rxdeck::signalwatch {

// Runs band sweeps over an open port: reads where the receiver is tuned, then for each
// frequency tunes, asks for the status and takes the signal of the first status reply
// that answers a query written after the tune. When the sweeps end, however they end,
// the receiver goes back to the frequency it had.
//
// Whoever else reads the port (the status poll) keeps away while a sweep runs.
class SweepRun : public QObject
{
    Q_OBJECT
public:
    // How long a status reply may take before the query goes again, and how often.
    static constexpr int replyTimeoutMs = 1000;
    static constexpr int attempts = 3;

    SweepRun(SerialPort& port, ReplyReader& reader, QObject* parent = nullptr);

    // `sweeps` of 0 sweeps until stopped; a new sweep starts `intervalMs` after the
    // last one started, or at once.
    void start(const SweepPlan& plan, int sweeps = 1, int intervalMs = 0);
    // Ends the sweep at once; the finished rows stand, the unfinished one is dropped.
    void stop();
    bool running() const { return state_ != State::Idle; }
    // The frequency the receiver had before the sweep, once read.
    qint64 returnHz() const { return returnHz_; }
    const SweepPlan& plan() const { return plan_; }

signals:
    void started();
    void stepRead(int bin, qint64 hz, double dbm);
    void rowFinished(const rxdeck::signalwatch::SweepRow& row);
    // The sweep is over and the receiver tuned back; `error` is empty unless it failed.
    void finished(const QString& error);

private:
    enum class State
    {
        Idle,
        Probing,  // reading where the receiver is
        Stepping, // waiting for the reply for bin_
        Resting,  // between sweeps
    };

    void tick();
    void ask();
    void tuneAndAsk();
    void end(const QString& error);

    SerialPort& port_;
    ReplyReader& reader_;
    QTimer ticker_;
    QElapsedTimer asked_;
    QElapsedTimer sweepStarted_;
    State state_ = State::Idle;
    SweepPlan plan_;
    int sweepsLeft_ = 0; // negative: until stopped
    int intervalMs_ = 0;
    int bin_ = 0;
    int tries_ = 0;
    bool wrongFrequency_ = false; // a reply for this bin showed another frequency
    quint64 query_ = 0;           // the first query whose answer counts
    qint64 returnHz_ = -1;
    SweepRow row_;
};

} // namespace rxdeck::signalwatch
