// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netcontrol/rigctlsession.h"

#include <array>
#include <optional>
#include <QObject>
#include <QTimer>

namespace rxdeck {

class SerialPort;

namespace netcontrol {

// Passes the network's receiver lines to the serial port without crowding the
// 9600-baud line: at most one line of each kind waits, a newer one replacing it,
// and the waiting lines go out together at most once per interval. The panel's own
// clicks and the status poll write directly and so always get through.
class LinePacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int intervalMs = 100;

    explicit LinePacer(SerialPort& port, QObject* parent = nullptr);

    void submit(const ReceiverLine& line);
    bool hasPending() const;

signals:
    // A line of this kind has just been written to the port.
    void written(rxdeck::netcontrol::LineKind kind);
    // A line of this kind was dropped: the port was closed.
    void dropped(rxdeck::netcontrol::LineKind kind);

private:
    void send();

    SerialPort& port_;
    QTimer timer_;
    std::array<std::optional<QByteArray>, lineKindCount> pending_;
};

} // namespace netcontrol
} // namespace rxdeck
