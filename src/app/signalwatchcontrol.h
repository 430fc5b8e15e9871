// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QMainWindow;

namespace rxdeck {

class ReplyReader;
class SerialPort;
class StatusPoll;
struct Controls;

namespace memories {
class MemoryListModel;
}

namespace signalwatch {
class HistoryWindow;
class SignalHistory;
class SignalLog;
class SweepRun;
class SweepWindow;
struct SweepPlan;
} // namespace signalwatch

// The "Signal" menu and what it opens: the history chart fed by the status poll, the
// signal log, and the band sweep, which has the port to itself while it runs and
// gives way to any tuning or scan from the panel.
class SignalWatchControl : public QObject
{
    Q_OBJECT
public:
    // A sweep's peak becomes a new row of `memories`.
    SignalWatchControl(QMainWindow& window, Controls& ui, SerialPort& port, ReplyReader& reader,
                       StatusPoll& poll, memories::MemoryListModel& memories);
    ~SignalWatchControl() override;

    // Starts the signal log in `path`; false with the reason in `error`.
    bool startLog(const QString& path, QString* error = nullptr);

    signalwatch::SignalHistory& history() const { return *history_; }
    signalwatch::SignalLog& log() const { return *log_; }
    signalwatch::SweepRun& sweep() const { return *sweep_; }
    signalwatch::HistoryWindow& historyWindow();
    signalwatch::SweepWindow& sweepWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startSweep(const signalwatch::SweepPlan& plan, int sweeps);
    void sweepEnded(const QString& error);
    void stopSweep();
    void tuneTo(qint64 hz);
    void storePeak(qint64 hz);
    void showSquelch();

    QMainWindow& window_;
    Controls& ui_;
    memories::MemoryListModel& memories_;
    signalwatch::SignalHistory* history_;
    signalwatch::SignalLog* log_;
    signalwatch::SweepRun* sweep_;
    QAction* recordLog_;
    QPointer<signalwatch::HistoryWindow> historyWindow_;
    QPointer<signalwatch::SweepWindow> sweepWindow_;
    bool pollWasRunning_ = false;
};

} // namespace rxdeck
