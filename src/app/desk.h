// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <memory>
#include <optional>
#include <QString>
#include <QtGlobal>

class QLabel;

namespace rxdeck {

class AboutLauncher;
namespace memories {
class MemoryGrid;
}
class Form1;
class MemoryList;
class MemoryScanControl;
class PortSelection;
class ReceiverSettings;
class SerialPort;
class SettingsSnapshot;
class SignalWatchControl;
class StatusPoll;
namespace netcontrol {
class RigctlServer;
}

// The program put together: the main window, the serial port, every handler that
// operates the panel through it, and network control when asked for.
class Desk
{
public:
    // The memory list is kept in the workbook at workbookPath.
    Desk(std::unique_ptr<SerialPort> port, const QString& workbookPath);
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // What every handler writes into the panel, for the text fitting.
    static std::span<const WrittenTextTable> panelTexts();

    Form1& window() const { return *window_; }
    memories::MemoryGrid& memoryGrid() const { return *grid_; }
    SerialPort& port() const { return *port_; }
    MemoryList& memoryList() const { return *memoryList_; }
    StatusPoll& statusPoll() const { return *statusPoll_; }
    MemoryScanControl& memoryScan() const { return *memoryScan_; }
    SignalWatchControl& signalWatch() const { return *signalWatch_; }

    // Serves the rigctld protocol on this computer at `port` (0: any free port).
    // On failure the reason is in `error` and on the status bar; the rest runs on.
    bool startNetworkControl(quint16 port, QString* error = nullptr);

    // Opens port n (1..4) as choosing "Comm n" does, warning when it cannot. With no n,
    // the port the menu's "Open at start" remembers, if any.
    void openAtStart(std::optional<int> n);
    netcontrol::RigctlServer* networkControl() const { return server_.get(); }

private:
    // Keeps the server's copy of the panel's settings current.
    void followPanel();

    memories::MemoryGrid* grid_ = nullptr; // on the window; set while the window is built
    std::unique_ptr<Form1> window_;
    SerialPort* port_; // owned by the window, like every handler
    MemoryList* memoryList_;
    StatusPoll* statusPoll_;
    MemoryScanControl* memoryScan_;
    PortSelection* portSelection_;
    SettingsSnapshot* snapshot_;
    ReceiverSettings* receiverSettings_;
    SignalWatchControl* signalWatch_;
    std::unique_ptr<AboutLauncher> about_;
    QLabel* networkLabel_ = nullptr;
    // Declared last: goes first, while the port it writes to still exists.
    std::unique_ptr<netcontrol::RigctlServer> server_;
};

} // namespace rxdeck
