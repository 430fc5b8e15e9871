// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/activitylog.h"

#include <QObject>

class QAction;
class QLabel;

namespace rxdeck {

class Form1;
class PortSelection;
class SerialPort;
class StatusPoll;
namespace memories {
class MemoryGrid;
}
namespace memoryscan {
class MemoryScanner;
class MemoryScanPanel;
class RowMarker;
struct Stop;
} // namespace memoryscan

// The memory scan put into the window: its panel beside the front panel, the "Scan"
// menu, the status bar text and the grid's marker. Whatever else tunes the receiver
// (the step buttons, Set Freq, Select, a scratch memory, the receiver's own scan, a
// port chosen) stops it first; a lost port pauses it until the port is back.
class MemoryScanControl : public QObject
{
    Q_OBJECT
public:
    MemoryScanControl(Form1& window, memories::MemoryGrid& grid, SerialPort& port, StatusPoll& poll,
                      PortSelection& selection, const QString& workbookPath);

    memoryscan::MemoryScanner& scanner() const { return *scanner_; }

    // Starts a scan over the selected memories (all, unless several rows are
    // selected); false when there is nothing to scan.
    bool start();
    void stop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toggle();
    void buildMenu(QAction* showPanel);
    void watchTuning();
    void showStatus();
    void onStopEnded(const memoryscan::Stop& stop);
    void addAsMemory(const memoryscan::Stop& stop);
    // Marks the memory in the Skip column (offering to add it) and goes on.
    void lockOutForGood();

    Form1& window_;
    memories::MemoryGrid& grid_;
    SerialPort& port_;
    memoryscan::ActivityLog log_;
    memoryscan::MemoryScanner* scanner_;
    memoryscan::MemoryScanPanel* panel_;
    memoryscan::RowMarker* marker_;
    QLabel* status_;
    QAction* startStop_ = nullptr;
    QAction* skip_ = nullptr;
    QAction* lockOut_ = nullptr;
    QAction* next_ = nullptr;
    QString lastProblem_;
};

} // namespace rxdeck
