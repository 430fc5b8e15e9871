// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/memoryscancontrol.h"

#include "link/commands.h"
#include "link/portselection.h"
#include "link/serialport.h"
#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"
#include "memoryscan/channels.h"
#include "memoryscan/memoryscanner.h"
#include "memoryscan/memoryscanpanel.h"
#include "memoryscan/rowmarker.h"
#include "memoryscan/scansettings.h"
#include "panel/statuspoll.h"
#include "shell/controls.h"
#include "shell/form1.h"
#include "shell/panelbuttons.h"
#include "shell/slider.h"

#include <QAction>
#include <QDockWidget>
#include <QEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>

namespace rxdeck {
namespace {

using memoryscan::MemoryScanner;

// Buttons that tune the receiver: the step buttons, Set Freq, Select, the four
// scratch recalls and the receiver's own Scan start.
constexpr int tuningButtons[] = {35, 36, 21, 22, 13, 14, 15, 16, 17, 18, 1, 23, 28, 29, 30, 34, 37};

QSettings settingsStore()
{
    return QSettings(QStringLiteral("Rxdeck"), QStringLiteral("Rxdeck"));
}

} // namespace

MemoryScanControl::MemoryScanControl(Form1& window, memories::MemoryGrid& grid, SerialPort& port,
                                     StatusPoll& poll, PortSelection& selection,
                                     const QString& workbookPath)
    : QObject(&window), window_(window), grid_(grid), port_(port),
      log_(QFileInfo(workbookPath).absolutePath() + QStringLiteral("/Activity.csv")),
      scanner_(new MemoryScanner(
          [&port](const QString& frequency) {
              if (!port.portOpen())
                  return false;
              port.output(commands::frequency(frequency));
              return port.portOpen();
          },
          this)),
      panel_(new memoryscan::MemoryScanPanel), marker_(nullptr), status_(new QLabel)
{
    Controls& ui = window.controls();
    marker_ = new memoryscan::RowMarker(grid.view());

    auto* dock = new QDockWidget(tr("Memory scan"), &window);
    dock->setObjectName(QStringLiteral("memoryScanDock"));
    // It can float or close, for screens too narrow for the panel and it side by side.
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                      QDockWidget::DockWidgetClosable);
    dock->setWidget(panel_);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);
    // Tab reaches the panel after every control of the front panel, not in between.
    QWidget* previous = ui.Command[41];
    for (QWidget* control : panel_->tabOrder()) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
    status_->setObjectName(QStringLiteral("memoryScanStatus"));
    window.statusBar()->addWidget(status_);

    {
        const QSettings store = settingsStore();
        const memoryscan::Settings settings = memoryscan::loadSettings(store);
        scanner_->setSettings(settings);
        panel_->setSettings(settings);
    }
    Slider* squelch = ui.HScroll[5];
    scanner_->setSquelch(squelch->value());
    connect(squelch, &Slider::changed, this,
            [this, squelch] { scanner_->setSquelch(squelch->value()); });

    connect(&poll, &StatusPoll::querySent, scanner_, &MemoryScanner::querySent);
    connect(&poll, &StatusPoll::statusDecoded, scanner_, &MemoryScanner::statusDecoded);
    connect(&port, &SerialPort::lost, scanner_, &MemoryScanner::pause);
    connect(&selection, &PortSelection::opened, scanner_, &MemoryScanner::resume);

    connect(panel_, &memoryscan::MemoryScanPanel::startStopClicked, this,
            &MemoryScanControl::toggle);
    connect(panel_, &memoryscan::MemoryScanPanel::skipClicked, scanner_, &MemoryScanner::skip);
    connect(panel_, &memoryscan::MemoryScanPanel::lockOutClicked, this,
            &MemoryScanControl::lockOutForGood);
    connect(panel_, &memoryscan::MemoryScanPanel::nextClicked, scanner_, &MemoryScanner::next);
    connect(panel_, &memoryscan::MemoryScanPanel::settingsChanged, this,
            [this](const memoryscan::Settings& settings) {
                scanner_->setSettings(settings);
                QSettings store = settingsStore();
                memoryscan::saveSettings(store, settings);
            });
    connect(panel_, &memoryscan::MemoryScanPanel::addAsMemory, this,
            &MemoryScanControl::addAsMemory);

    connect(scanner_, &MemoryScanner::stateChanged, this,
            [this, &poll](MemoryScanner::State state) {
                // Each memory then takes one poll period, not two.
                poll.setAnswerBeforeQuery(state == MemoryScanner::State::Trying);
                panel_->showState(state);
                if (state != MemoryScanner::State::Idle)
                    lastProblem_.clear();
                startStop_->setText(state == MemoryScanner::State::Idle ? tr("Scan memories")
                                                                        : tr("Stop memory scan"));
                skip_->setEnabled(state != MemoryScanner::State::Idle);
                lockOut_->setEnabled(state != MemoryScanner::State::Idle);
                next_->setEnabled(state != MemoryScanner::State::Idle);
                showStatus();
            });
    connect(scanner_, &MemoryScanner::currentRowChanged, this, [this](int row) {
        marker_->markRow(row);
        showStatus();
    });
    connect(scanner_, &MemoryScanner::stopEnded, this, &MemoryScanControl::onStopEnded);
    connect(scanner_, &MemoryScanner::nothingToScan, this, [this](const QString& reason) {
        lastProblem_ = reason;
        showStatus();
    });

    QAction* showPanel = dock->toggleViewAction();
    showPanel->setText(tr("Memory scan panel"));
    buildMenu(showPanel);
    watchTuning();
}

void MemoryScanControl::buildMenu(QAction* showPanel)
{
    auto* menu = new QMenu(tr("Scan"), &window_);
    menu->setObjectName(QStringLiteral("mnuScan"));
    startStop_ = menu->addAction(tr("Scan memories"));
    startStop_->setObjectName(QStringLiteral("mnuScanMemories"));
    startStop_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    startStop_->setShortcutContext(Qt::ApplicationShortcut);
    skip_ = menu->addAction(tr("Skip"));
    skip_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    skip_->setEnabled(false);
    lockOut_ = menu->addAction(tr("Lock out for good"));
    lockOut_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    lockOut_->setEnabled(false);
    next_ = menu->addAction(tr("Next memory"));
    next_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    next_->setEnabled(false);
    menu->addSeparator();
    menu->addAction(showPanel);
    connect(startStop_, &QAction::triggered, this, &MemoryScanControl::toggle);
    connect(skip_, &QAction::triggered, scanner_, &MemoryScanner::skip);
    connect(lockOut_, &QAction::triggered, this, &MemoryScanControl::lockOutForGood);
    connect(next_, &QAction::triggered, scanner_, &MemoryScanner::next);
    // Before Help, which stays last.
    auto* help = window_.findChild<QMenu*>(QStringLiteral("mnuHelp"));
    window_.menuBar()->insertMenu(help ? help->menuAction() : nullptr, menu);
}

void MemoryScanControl::watchTuning()
{
    Controls& ui = window_.controls();
    // Installed after the panel's own handlers, so this filter sees a press first and
    // the scan has stopped before the button's command goes out.
    for (const int n : tuningButtons) {
        QPushButton* button = ui.Command[std::size_t(n)];
        if (!button)
            continue;
        button->installEventFilter(this);
        // A shortcut or a screen reader presses without the mouse.
        connect(button, &QPushButton::pressed, this, &MemoryScanControl::stop);
        if (auto* step = qobject_cast<TuningButton*>(button))
            connect(step, &TuningButton::stepRequested, this, &MemoryScanControl::stop);
    }
    for (QAction* item : ui.Comm)
        if (item)
            connect(item, &QAction::triggered, this, &MemoryScanControl::stop);
}

bool MemoryScanControl::eventFilter(QObject* watched, QEvent* event)
{
    if (scanner_->active()) {
        bool tuning = event->type() == QEvent::MouseButtonPress;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            tuning = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
        }
        if (tuning)
            stop();
    }
    return QObject::eventFilter(watched, event);
}

void MemoryScanControl::toggle()
{
    if (scanner_->active())
        stop();
    else
        start();
}

bool MemoryScanControl::start()
{
    memories::MemoryGrid& grid = grid_;
    // The scan reads the list as saved, and the Skip column from the file.
    grid.commitPending();
    QList<int> rows;
    if (QItemSelectionModel* selection = grid.view()->selectionModel())
        for (const QModelIndex& index : selection->selectedIndexes())
            rows << index.row();
    if (!port_.portOpen()) {
        lastProblem_ = tr("Memory scan: choose a serial port first");
        showStatus();
        return false;
    }
    return scanner_->start(memoryscan::channelsOf(*grid.model(), rows));
}

void MemoryScanControl::stop()
{
    scanner_->stop();
}

void MemoryScanControl::lockOutForGood()
{
    const auto current = scanner_->current();
    if (!current)
        return;
    memories::MemoryListModel* model = grid_.model();
    const QString header = QString::fromLatin1(memoryscan::skipHeader);
    if (model->sideColumn(header) < 0 &&
        QMessageBox::question(
            &window_, tr("Lock out for good"),
            tr("Memories are locked out for good by a mark in a column headed \"Skip\" on "
               "Sheet1, which the memory list does not have yet.\n\nAdd that column and mark "
               "%1 %2 in it?")
                .arg(current->frequency, current->note)) != QMessageBox::Yes)
        return;
    // A failure has been shown by the grid; the memory is still skipped for now.
    model->setSideCell(current->row, header, QStringLiteral("x"));
    scanner_->skip();
}

void MemoryScanControl::showStatus()
{
    QString text = lastProblem_;
    const auto current = scanner_->current();
    switch (scanner_->state()) {
    case MemoryScanner::State::Idle:
        break;
    case MemoryScanner::State::Trying:
        text = tr("Scanning memories");
        break;
    case MemoryScanner::State::Holding:
        text = tr("Stopped on %1 %2").arg(current->frequency, current->note).trimmed();
        break;
    case MemoryScanner::State::Paused:
        text = tr("Memory scan paused: the serial port is gone");
        break;
    }
    status_->setText(text);
}

void MemoryScanControl::onStopEnded(const memoryscan::Stop& stop)
{
    panel_->addStop(stop);
    QString error;
    if (!log_.append(stop, &error))
        window_.statusBar()->showMessage(tr("Could not write %1: %2").arg(log_.path(), error),
                                         10000);
}

void MemoryScanControl::addAsMemory(const memoryscan::Stop& stop)
{
    memories::MemoryGrid& grid = grid_;
    memories::MemoryListModel* model = grid.model();
    if (!model->isEditable() || model->isProtected()) {
        window_.statusBar()->showMessage(tr("The memory list cannot be changed"), 10000);
        return;
    }
    if (!grid.commitPending())
        return;
    const int row = model->memoryCount();
    // The frequency as the list writes numbers: plain, without trailing zeros.
    const QString frequency = QString::number(stop.frequencyMhz.toDouble(), 'g', 15);
    model->setData(model->index(row, memories::MemoryListModel::FreqColumn), frequency);
    const QString heard =
        tr("heard %1 UTC").arg(stop.startUtc.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    model->setData(model->index(row, memories::MemoryListModel::NoteColumn),
                   stop.note.isEmpty() ? heard : stop.note + QStringLiteral(" (") + heard + u')');
    if (model->commitRow(row).ok)
        grid.view()->setCurrentIndex(model->index(row, memories::MemoryListModel::FreqColumn));
}

} // namespace rxdeck
