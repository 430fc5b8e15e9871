// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// The "Serial port" menu: choosing "Comm n" opens port n, marks its item, sends the
// settings query and starts the settings snapshot.
class PortSelection : public QObject
{
    Q_OBJECT
public:
    PortSelection(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // `Comm1_Click` … `Comm4_Click`: the four items differ only in n.
    void Comm_Click(int n);

    // What choosing item n does, without the warning when the port does not open.
    // Returns false when the open failed at once; true when the port opened, or is
    // still opening (a network connection), in which case the link starts once it is.
    bool open(int n);

signals:
    // The user chose item n; emitted before the port is touched.
    void chosen(int n);
    // Port n could not be opened; the window shows its warning with `reason` below.
    void portNotAvailable(const QString& reason);

private:
    bool begin(int n, bool warn);
    void start(int n);
    void onOpened();
    void onOpenFailed();

    Controls& ui_;
    SerialPort& port_;
    int opening_ = 0;            // the item whose port is still opening, 0 for none
    bool warnOnFailure_ = false; // that open was the user's choice, not a quiet retry
};

} // namespace rxdeck
