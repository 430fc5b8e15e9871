// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signalwatchcontrol.h"

#include "link/numbertext.h"
#include "memories/list/memorylistmodel.h"
#include "panel/statuspoll.h"
#include "shell/controls.h"
#include "shell/slider.h"
#include "signalview/historywindow.h"
#include "signalview/sweepwindow.h"
#include "signalwatch/signalhistory.h"
#include "signalwatch/signallog.h"
#include "signalwatch/sweeprun.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace rxdeck {
namespace {

// The panel's buttons that tune the receiver or start its scan: each ends a sweep.
// Enter, the step buttons, Select (memory list) and Scan start.
constexpr int tuningButtons[] = {1, 35, 36, 21, 22, 13, 14, 15, 16, 17, 18, 23, 37};

template <typename Window> void bringUp(Window& window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

SignalWatchControl::SignalWatchControl(QMainWindow& window, Controls& ui, SerialPort& port,
                                       ReplyReader& reader, StatusPoll& poll,
                                       memories::MemoryListModel& memories)
    : QObject(&window), window_(window), ui_(ui), memories_(memories),
      history_(new signalwatch::SignalHistory(signalwatch::SignalHistory::defaultCapacity, this)),
      log_(new signalwatch::SignalLog(this)), sweep_(new signalwatch::SweepRun(port, reader, this))
{
    connect(&poll, &StatusPoll::statusDecoded, this, [this](const ReceiverStatus& status) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        history_->add(status, now);
        log_->add(status, now);
    });

    auto* menu = new QMenu(tr("Signal"), &window);
    QMenuBar* bar = window.menuBar();
    // Before Help, which stays last.
    const QList<QAction*> menus = bar->actions();
    bar->insertMenu(menus.isEmpty() ? nullptr : menus.last(), menu);
    QAction* showHistory = menu->addAction(tr("Signal history…"));
    connect(showHistory, &QAction::triggered, this, [this] { bringUp(historyWindow()); });
    recordLog_ = menu->addAction(tr("Record signal log"));
    recordLog_->setCheckable(true);
    connect(recordLog_, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            log_->stop();
            return;
        }
        recordLog_->setChecked(false); // until a file is open
        const QString path = QFileDialog::getSaveFileName(
            &window_, tr("Record signal log"), QString(), tr("CSV files (*.csv)"), nullptr,
            QFileDialog::DontConfirmOverwrite); // the log appends
        QString error;
        if (!path.isEmpty() && !startLog(path, &error))
            window_.statusBar()->showMessage(tr("Signal log not started: %1: %2").arg(path, error),
                                             10000);
    });
    connect(log_, &signalwatch::SignalLog::runningChanged, recordLog_, &QAction::setChecked);
    connect(log_, &signalwatch::SignalLog::failed, this,
            [this](const QString& reason) { window_.statusBar()->showMessage(reason); });
    QAction* showSweep = menu->addAction(tr("Band sweep…"));
    connect(showSweep, &QAction::triggered, this, [this] { bringUp(sweepWindow()); });

    connect(sweep_, &signalwatch::SweepRun::finished, this, &SignalWatchControl::sweepEnded);
    for (const int n : tuningButtons) {
        // The step buttons tune at the mouse press, through their own event filter; this
        // one, installed later, runs first, so the sweep's way back goes out before the step.
        ui.Command[std::size_t(n)]->installEventFilter(this);
        connect(ui.Command[std::size_t(n)], &QPushButton::pressed, this,
                &SignalWatchControl::stopSweep);
    }
    connect(ui.HScroll[5], &Slider::changed, this, &SignalWatchControl::showSquelch);
}

SignalWatchControl::~SignalWatchControl() = default;

bool SignalWatchControl::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        stopSweep();
    return QObject::eventFilter(watched, event);
}

bool SignalWatchControl::startLog(const QString& path, QString* error)
{
    return log_->start(path, error);
}

signalwatch::HistoryWindow& SignalWatchControl::historyWindow()
{
    if (!historyWindow_) {
        historyWindow_ = new signalwatch::HistoryWindow(*history_, &window_);
        showSquelch();
    }
    return *historyWindow_;
}

signalwatch::SweepWindow& SignalWatchControl::sweepWindow()
{
    if (!sweepWindow_) {
        auto* w = new signalwatch::SweepWindow(&window_);
        sweepWindow_ = w;
        // The panel's scan limits and step to start with.
        const double low = decimalValue(ui_.Text[1]->text());
        const double high = decimalValue(ui_.Text[4]->text());
        const int step = ui_.HScroll[7]->value();
        if (high > low && step > 0)
            w->setRange(low, high, step);
        connect(w, &signalwatch::SweepWindow::startRequested, this,
                &SignalWatchControl::startSweep);
        connect(w, &signalwatch::SweepWindow::stopRequested, this, &SignalWatchControl::stopSweep);
        connect(w, &signalwatch::SweepWindow::tuneRequested, this, &SignalWatchControl::tuneTo);
        connect(w, &signalwatch::SweepWindow::peakToMemoryRequested, this,
                &SignalWatchControl::storePeak);
        connect(sweep_, &signalwatch::SweepRun::started, w,
                &signalwatch::SweepWindow::sweepStarted);
        connect(sweep_, &signalwatch::SweepRun::stepRead, w, &signalwatch::SweepWindow::stepRead);
        connect(sweep_, &signalwatch::SweepRun::rowFinished, w,
                &signalwatch::SweepWindow::rowFinished);
    }
    return *sweepWindow_;
}

void SignalWatchControl::startSweep(const signalwatch::SweepPlan& plan, int sweeps)
{
    if (sweep_->running())
        return;
    // The sweep asks and reads for itself; the poll would take its replies.
    QTimer* poll = ui_.Timer[1];
    pollWasRunning_ = poll->isActive();
    poll->stop();
    sweep_->start(plan, sweeps);
}

void SignalWatchControl::stopSweep()
{
    sweep_->stop();
}

void SignalWatchControl::sweepEnded(const QString& error)
{
    if (pollWasRunning_)
        ui_.Timer[1]->start();
    pollWasRunning_ = false;
    if (sweepWindow_)
        sweepWindow_->sweepFinished(error);
    if (!error.isEmpty())
        window_.statusBar()->showMessage(tr("Band sweep stopped: %1").arg(error), 10000);
}

void SignalWatchControl::tuneTo(qint64 hz)
{
    // As if typed into the entry box and entered: the panel's own tuning.
    ui_.Text[2]->setText(frequencyText(double(hz) / 1e6));
    ui_.Command[1]->click();
}

void SignalWatchControl::storePeak(qint64 hz)
{
    // The row for adding, filled and written as if typed into the grid.
    const int row = memories_.rowCount() - 1;
    QString problem = memories_.problem();
    if (problem.isEmpty() && (row < 0 || !memories_.isNewRow(row)))
        problem = tr("no row for a new memory");
    if (problem.isEmpty()) {
        memories_.startTyping(row);
        memories_.setData(memories_.index(row, 0), frequencyText(double(hz) / 1e6));
        memories_.setData(memories_.index(row, 1), tr("Sweep peak"));
        if (const auto saved = memories_.commitRow(row); !saved.ok)
            problem = saved.error;
    }
    window_.statusBar()->showMessage(
        problem.isEmpty() ? tr("New memory: %1 MHz").arg(frequencyText(double(hz) / 1e6))
                          : tr("The peak was not stored: %1").arg(problem),
        10000);
}

void SignalWatchControl::showSquelch()
{
    // The squelch slider is the threshold below 0 dBm.
    if (historyWindow_)
        historyWindow_->setSquelchDbm(-double(ui_.HScroll[5]->value()));
}

} // namespace rxdeck
