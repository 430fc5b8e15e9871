#pragma once

#include "shell/controls.h"

#include <memory>
#include <QMainWindow>

namespace rxdeck {

class AboutLauncher;
class MemoryList;
class SerialPort;
namespace memories {
class MemoryGrid;
}

// The main window: the receiver's front panel, its menus and timers. It owns the
// serial port and every handler; each handler wires its own controls.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    // The memory list is kept in the workbook at workbookPath.
    Form1(std::unique_ptr<SerialPort> port, const QString& workbookPath, QWidget* parent = nullptr);
    ~Form1() override;

    const Controls& controls() const { return ui_; }
    SerialPort& port() const { return *port_; }
    memories::MemoryGrid& memoryGrid() const { return *grid_; }
    MemoryList& memoryList() const { return *memoryList_; }

    // Tests capture the port warning as warningShown() instead of a modal box.
    void setCaptureWarnings(bool capture) { captureWarnings_ = capture; }

signals:
    void warningShown(const QString& text, const QString& reason);

private:
    void buildMenus();
    void buildTimers();
    void Form_Load();
    void showPortWarning(const QString& reason);
    void onPortLost();

    Controls ui_;
    SerialPort* port_; // owned through the QObject tree, like every handler
    std::unique_ptr<AboutLauncher> about_;
    memories::MemoryGrid* grid_;
    MemoryList* memoryList_;
    bool captureWarnings_ = false;
};

} // namespace rxdeck
