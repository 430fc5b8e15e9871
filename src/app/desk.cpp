// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desk.h"

#include "about/aboutlauncher.h"
#include "app/memoryscancontrol.h"
#include "app/portmenu.h"
#include "app/signalwatchcontrol.h"
#include "app/startport.h"
#include "link/portrecovery.h"
#include "link/portselection.h"
#include "link/serialport.h"
#include "memories/list/memorygrid.h"
#include "memories/memorylist.h"
#include "memories/scan.h"
#include "memories/scratchmemories.h"
#include "memoryscan/memoryscanner.h"
#include "netcontrol/rigctlserver.h"
#include "panel/receiversettings.h"
#include "panel/settingssnapshot.h"
#include "panel/slidercontrols.h"
#include "panel/statuspoll.h"
#include "panel/tuning.h"
#include "shell/controls.h"
#include "shell/form1.h"
#include "shell/led.h"
#include "shell/restingdisplay.h"
#include "shell/slider.h"
#include "signalwatch/sweeprun.h"
#include "status/replies.h"
#include "status/replyreader.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>

namespace rxdeck {

Desk::Desk(std::unique_ptr<SerialPort> port, const QString& workbookPath)
    : window_(std::make_unique<Form1>(
          [this, &workbookPath](QWidget* panel) {
              grid_ = new memories::MemoryGrid(workbookPath, panel);
              return MemoryPlace{grid_, grid_->view(), [grid = grid_] { grid->undoDelete(); },
                                 [grid = grid_] { return grid->mayClose(); }};
          },
          panelTexts())),
      port_(port.release()), about_(std::make_unique<AboutLauncher>())
{
    Form1* window = window_.get();
    Controls& ui = window->controls();
    port_->setParent(window);

    // Each handler wires its own controls and lives as long as the window.
    auto* portSelection = new PortSelection(*port_, window);
    portSelection_ = portSelection;
    auto* portMenu = new PortMenu(ui, *portSelection, window);
    auto* replies = new ReplyReader(*port_, window);
    QObject::connect(portSelection, &PortSelection::opened, replies, &ReplyReader::restart);
    snapshot_ = new SettingsSnapshot(ui, *port_, *replies, window);
    statusPoll_ = new StatusPoll(ui, *port_, *replies, window);
    QObject::connect(replies, &ReplyReader::pieceDropped, portMenu, &PortMenu::countRejected);
    QObject::connect(statusPoll_, &StatusPoll::replyRejected, portMenu, &PortMenu::countRejected);
    auto* tuning = new Tuning(ui, *port_, window);
    receiverSettings_ = new ReceiverSettings(ui, *port_, window);
    new SliderControls(ui, *port_, window);
    auto* scratch = new ScratchMemories(ui, *port_, window);
    new Scan(ui, *port_, window);
    memoryList_ =
        new MemoryList(ui, *port_, *grid_, QFileInfo(workbookPath).absolutePath(), window);
    // What was not sent, and why, goes to the status bar.
    QObject::connect(tuning, &Tuning::refused, window, &Form1::showMessage);
    QObject::connect(scratch, &ScratchMemories::refused, window, &Form1::showMessage);
    QObject::connect(memoryList_, &MemoryList::refused, window, &Form1::showMessage);
    new PortRecovery(*portSelection, *port_, window);
    new StartPort(*ui.openAtStart, *portSelection, window);
    // After every handler of a tuning control, so that it stops the memory scan first.
    memoryScan_ =
        new MemoryScanControl(*window, *grid_, *port_, *statusPoll_, *portSelection, workbookPath);
    // After the handlers of the tuning controls too: a press stops the sweep first.
    signalWatch_ =
        new SignalWatchControl(*window, ui, *port_, *replies, *statusPoll_, *grid_->model());
    // A sweep and the memory scan each tune the receiver: one starting ends the other.
    QObject::connect(&memoryScan_->scanner(), &memoryscan::MemoryScanner::stateChanged,
                     signalWatch_, [this](memoryscan::MemoryScanner::State state) {
                         if (state != memoryscan::MemoryScanner::State::Idle)
                             signalWatch_->sweep().stop();
                     });
    QObject::connect(&signalWatch_->sweep(), &signalwatch::SweepRun::started, memoryScan_,
                     [this] { memoryScan_->scanner().stop(); });
    QObject::connect(portSelection, &PortSelection::portNotAvailable, window,
                     &Form1::showPortWarning);
    QObject::connect(port_, &SerialPort::lost, window, &Form1::onPortLost);
    QObject::connect(port_, &SerialPort::lost, window, [this, window] {
        if (const QString reason = port_->lossReason(); !reason.isEmpty())
            window->statusBar()->showMessage(reason, 5000);
    });
    QObject::connect(port_, &SerialPort::dropped, window, [window](const QByteArray& line) {
        window->statusBar()->showMessage(
            QStringLiteral("Not sent, the link to the receiver is too slow: %1")
                .arg(QString::fromLatin1(line.trimmed())),
            5000);
    });
    QObject::connect(ui.About, &QAction::triggered, window,
                     [this] { about_->show(window_.get()); });
}

Desk::~Desk() = default;

std::span<const WrittenTextTable> Desk::panelTexts()
{
    static const WrittenTextTable tables[] = {
        restingDisplayTexts(),
        StatusPoll::writtenTexts(),
        SettingsSnapshot::writtenTexts(),
        SliderControls::writtenTexts(),
        ReceiverSettings::writtenTexts(),
        ScratchMemories::writtenTexts(),
        Scan::writtenTexts(),
        Tuning::writtenTexts(),
    };
    return tables;
}

void Desk::openAtStart(std::optional<int> n)
{
    if (!n)
        n = StartPort::remembered();
    if (n)
        portSelection_->Comm_Click(*n);
}

void Desk::followPanel()
{
    using netcontrol::Setting;
    netcontrol::RigctlServer* server = server_.get();
    Controls& ui = window_->controls();
    static constexpr std::pair<Setting, int> sliders[] = {{Setting::Gain, 1},
                                                          {Setting::Passband, 2},
                                                          {Setting::Bfo, 3},
                                                          {Setting::Blanker, 4},
                                                          {Setting::Squelch, 5}};
    const auto showSliders = [server, &ui] {
        for (const auto& [setting, number] : sliders)
            server->setSetting(setting, ui.HScroll[std::size_t(number)]->value());
    };
    // The sliders hold values from the start; the lamps and the AGC label once shown.
    showSliders();
    for (int path = 1; path <= 3; ++path)
        if (ui.LED[std::size_t(18 + path)]->lit())
            server->setSetting(Setting::RfPath, path);
    for (const char16_t digit : {u'0', u'1', u'2'})
        if (ui.Label[8]->text() == replies::agcText(digit))
            server->setSetting(Setting::Agc, digit - u'0');

    for (const auto& [setting, number] : sliders) {
        Slider* slider = ui.HScroll[std::size_t(number)];
        QObject::connect(slider, &Slider::changed, server, [server, setting, slider] {
            server->setSetting(setting, slider->value());
        });
    }
    // The receiver's own settings count, even where a slider already stood at the value.
    QObject::connect(snapshot_, &SettingsSnapshot::decoded, server, showSliders);
    const auto rfPath = [server](int path) { server->setSetting(Setting::RfPath, path); };
    const auto agc = [server](int mode) { server->setSetting(Setting::Agc, mode); };
    QObject::connect(receiverSettings_, &ReceiverSettings::rfPathShown, server, rfPath);
    QObject::connect(receiverSettings_, &ReceiverSettings::agcShown, server, agc);
    QObject::connect(snapshot_, &SettingsSnapshot::rfPathShown, server, rfPath);
    QObject::connect(snapshot_, &SettingsSnapshot::agcShown, server, agc);
}

bool Desk::startNetworkControl(quint16 port, QString* error)
{
    if (!networkLabel_) {
        networkLabel_ = new QLabel;
        networkLabel_->setObjectName(QStringLiteral("networkControl"));
        window_->statusBar()->addPermanentWidget(networkLabel_);
    }
    auto server =
        std::make_unique<netcontrol::RigctlServer>(*port_, QCoreApplication::applicationVersion());
    QString reason;
    if (!server->listen(port, &reason)) {
        networkLabel_->setText(QStringLiteral("Network control off: %1").arg(reason));
        if (error)
            *error = reason;
        return false;
    }
    server_ = std::move(server);
    QObject::connect(statusPoll_, &StatusPoll::statusDecoded, server_.get(),
                     &netcontrol::RigctlServer::updateStatus);
    QObject::connect(statusPoll_, &StatusPoll::querySent, server_.get(),
                     &netcontrol::RigctlServer::noteQuerySent);
    QObject::connect(server_.get(), &netcontrol::RigctlServer::scanRequested, memoryScan_,
                     [scan = memoryScan_](netcontrol::ScanRequest request) {
                         if (request == netcontrol::ScanRequest::Memories)
                             scan->start();
                         else
                             scan->stop();
                     });
    QObject::connect(server_.get(), &netcontrol::RigctlServer::tuned, memoryScan_,
                     &MemoryScanControl::stop);
    followPanel();
    const auto show = [this] { networkLabel_->setText(server_->statusText()); };
    QObject::connect(server_.get(), &netcontrol::RigctlServer::clientCountChanged, networkLabel_,
                     show);
    show();
    return true;
}

} // namespace rxdeck
