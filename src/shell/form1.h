#pragma once

#include "shell/controls.h"

#include <memory>
#include <QMainWindow>

namespace rxdeck {

class AboutLauncher;
class SerialPort;

// The main window: the receiver's front panel, its menus and timers. It owns the
// serial port and every handler; each handler wires its own controls.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form1(std::unique_ptr<SerialPort> port, QWidget* parent = nullptr);
    ~Form1() override;

    const Controls& controls() const { return ui_; }
    SerialPort& port() const { return *port_; }

signals:
    // Emitted instead of showing the port warning when warnings are captured (tests).
    void warningShown(const QString& text);

public:
    // Tests capture the port warning instead of a modal box.
    void setCaptureWarnings(bool capture) { captureWarnings_ = capture; }

private:
    void buildMenus();
    void buildTimers();
    void Form_Load();
    void showPortWarning();
    void onPortLost();

    Controls ui_;
    SerialPort* port_; // owned through the QObject tree, like every handler
    std::unique_ptr<AboutLauncher> about_;
    bool captureWarnings_ = false;
};

} // namespace rxdeck
