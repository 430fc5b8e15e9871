// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace rxdeck {

class SerialPort;

// Choosing port n: closes the open port, opens port n, drops whatever the line had
// queued before (the answer to an earlier program's last question, say) and sends
// the settings query. The menu and the snapshot timer follow its signals.
class PortSelection : public QObject
{
    Q_OBJECT
public:
    explicit PortSelection(SerialPort& port, QObject* parent = nullptr);

    // `Comm1_Click` … `Comm4_Click`: the user chose item n.
    void Comm_Click(int n);

    // What choosing item n does, without the warning when the port does not open.
    // Returns false when the open failed at once; true when the port opened, or is
    // still opening (a network connection), in which case the link starts once it is.
    bool open(int n);

signals:
    // The user chose item n; emitted before the port is touched.
    void chosen(int n);
    // About to close and open: the snapshot stops waiting.
    void opening();
    // Port n is open, its stale input gone and the settings query sent.
    void opened(int n);
    // Port n could not be opened; the window shows its warning with `reason` below.
    void portNotAvailable(const QString& reason);

private:
    bool begin(int n, bool warn);
    void start(int n);
    void onOpened();
    void onOpenFailed();

    SerialPort& port_;
    int opening_ = 0;            // the item whose port is still opening, 0 for none
    bool warnOnFailure_ = false; // that open was the user's choice, not a quiet retry
};

} // namespace rxdeck
