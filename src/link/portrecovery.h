// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

namespace rxdeck {

class PortSelection;
class SerialPort;

// Brings a lost port back: USB serial adapters drop out when RF gets into the cable
// and return a moment later under the same name. While the port chosen last is
// lost, the same item is tried once a second, quietly; when it opens, the link
// starts exactly as if the user had chosen the item. Choosing another item stops
// the tries.
class PortRecovery : public QObject
{
    Q_OBJECT
public:
    PortRecovery(PortSelection& selection, SerialPort& port, QObject* parent = nullptr);

    bool trying() const { return timer_.isActive(); }

    // One try: reopens the lost item's port, or leaves everything as it was.
    void retry();

private:
    void onChosen(int n);
    void onLost();

    PortSelection& selection_;
    SerialPort& port_;
    QTimer timer_;
    int item_ = 0; // the item chosen last, 0 before any choice
};

} // namespace rxdeck
