// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status/receiverstatus.h"

#include <functional>
#include <optional>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <vector>

namespace rxdeck::memoryscan {

// One memory as the scan sees it: its row in the list, its texts, and whether the
// user has locked it out for good.
struct Channel
{
    int row = -1;
    QString frequency; // as the list shows it
    QString note;
    bool lockedOut = false;
};

struct Settings
{
    bool squelchThreshold = true; // stop at the panel's squelch level, else at levelDbm
    double levelDbm = -100;
    int hangMs = 2000; // how long the signal must stay below the threshold to move on
    int dwellMs = 0;   // the least time spent on a memory without a signal
};

// A stop, as it ends.
struct Stop
{
    QDateTime startUtc;
    QString frequencyMhz; // as the receiver reported it
    QString note;
    double peakDbm = 0;
    double seconds = 0;
    int row = -1;
};

// Scans the memory list: tunes one memory after another and reads the signal from
// the status poll's replies, stopping on a memory whose signal reaches the threshold
// and going on once it has stayed below it for the hang time. Only a reply to a
// status query written after the tune counts for a memory. Writes nothing itself:
// `tune` sends the frequency command and says whether it could.
class MemoryScanner : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,
        Trying,  // a memory is tuned, its reply awaited
        Holding, // stopped on a signal
        Paused,  // the port went away
    };
    Q_ENUM(State)

    using Tune = std::function<bool(const QString& frequencyText)>;

    explicit MemoryScanner(Tune tune, QObject* parent = nullptr);

    void setSettings(const Settings& settings) { settings_ = settings; }
    const Settings& settings() const { return settings_; }
    // The panel's squelch slider, 0..136 for 0..-136 dBm.
    void setSquelch(int level) { squelch_ = level; }
    double thresholdDbm() const;

    // Starts over the given memories in their order; session lock-outs are forgotten.
    // False (and nothing starts) when none of them can be scanned.
    bool start(std::vector<Channel> channels);
    void stop();
    // Locks the memory stopped on (or being tried) out until the next start, and moves on.
    void skip();
    // Moves on at once without locking anything out.
    void next();
    // The port went away: nothing is tuned until resume().
    void pause();
    void resume();

    State state() const { return state_; }
    bool active() const { return state_ != State::Idle; }
    // The memory being tried or held; nothing when idle.
    std::optional<Channel> current() const;

    // From the status poll.
    void querySent(quint64 query);
    void statusDecoded(const rxdeck::ReceiverStatus& status);

    // Whether a memory's frequency text is one the receiver can be tuned to, in MHz.
    static std::optional<double> validFrequency(const QString& text);

signals:
    void stateChanged(rxdeck::memoryscan::MemoryScanner::State state);
    void currentRowChanged(int row); // -1 when idle
    void stopEnded(const rxdeck::memoryscan::Stop& stop);
    // Why a start or a scan came to nothing, in a few words.
    void nothingToScan(const QString& reason);

private:
    bool scannable(std::size_t index) const;
    void moveOn();
    void tuneCurrent();
    void endStop();
    void setState(State state);

    Tune tune_;
    Settings settings_;
    int squelch_ = 0;
    std::vector<Channel> channels_;
    std::vector<bool> skipped_;
    std::size_t index_ = 0;
    State state_ = State::Idle;
    State pausedIn_ = State::Idle;
    quint64 queriesSent_ = 0;
    quint64 firstFreshReply_ = 0;       // replies numbered from here answer a query after the tune
    std::optional<quint64> judgedFrom_; // and from here a query written after the dwell
    qint64 tunedHz_ = 0;
    int mismatches_ = 0;
    QElapsedTimer clock_;
    qint64 tunedAtMs_ = 0;
    std::optional<qint64> quietSinceMs_;
    Stop stop_;
};

} // namespace rxdeck::memoryscan

Q_DECLARE_METATYPE(rxdeck::memoryscan::Stop)
