// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desk.h"

#include "about/aboutlauncher.h"
#include "app/memoryscancontrol.h"
#include "app/portmenu.h"
#include "link/portrecovery.h"
#include "link/portselection.h"
#include "link/serialport.h"
#include "memories/memorylist.h"
#include "memories/scan.h"
#include "memories/scratchmemories.h"
#include "netcontrol/rigctlserver.h"
#include "panel/receiversettings.h"
#include "panel/slidercontrols.h"
#include "panel/tuning.h"
#include "shell/form1.h"
#include "shell/slider.h"
#include "status/replyreader.h"
#include "status/settingssnapshot.h"
#include "status/statuspoll.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace rxdeck {

Desk::Desk(std::unique_ptr<SerialPort> port, const QString& workbookPath)
    : window_(std::make_unique<Form1>(workbookPath)), port_(port.release()),
      about_(std::make_unique<AboutLauncher>())
{
    Form1* window = window_.get();
    Controls& ui = window->controls();
    port_->setParent(window);

    // Each handler wires its own controls and lives as long as the window.
    auto* portSelection = new PortSelection(*port_, window);
    new PortMenu(ui, *portSelection, window);
    auto* replies = new ReplyReader(*port_, window);
    QObject::connect(portSelection, &PortSelection::opened, replies, &ReplyReader::restart);
    new SettingsSnapshot(ui, *port_, *replies, window);
    statusPoll_ = new StatusPoll(ui, *port_, *replies, window);
    new Tuning(ui, *port_, window);
    new ReceiverSettings(ui, *port_, window);
    new SliderControls(ui, *port_, window);
    new ScratchMemories(ui, *port_, window);
    new Scan(ui, *port_, window);
    memoryList_ = new MemoryList(ui, *port_, window->memoryGrid(),
                                 QFileInfo(workbookPath).absolutePath(), window);
    new PortRecovery(*portSelection, *port_, window);
    // After every handler of a tuning control, so that it stops the memory scan first.
    memoryScan_ =
        new MemoryScanControl(*window, *port_, *statusPoll_, *portSelection, workbookPath);
    QObject::connect(portSelection, &PortSelection::portNotAvailable, window,
                     &Form1::showPortWarning);
    QObject::connect(port_, &SerialPort::lost, window, &Form1::onPortLost);
    QObject::connect(ui.About, &QAction::triggered, window,
                     [this] { about_->show(window_.get()); });
}

Desk::~Desk() = default;

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
    Slider* squelch = window_->controls().HScroll[5];
    server_->setSquelch(squelch->value());
    QObject::connect(squelch, &Slider::changed, server_.get(),
                     [server = server_.get(), squelch] { server->setSquelch(squelch->value()); });
    const auto show = [this] { networkLabel_->setText(server_->statusText()); };
    QObject::connect(server_.get(), &netcontrol::RigctlServer::clientCountChanged, networkLabel_,
                     show);
    show();
    return true;
}

} // namespace rxdeck
