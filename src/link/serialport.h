// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/openfailure.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace rxdeck {

// The one serial port every handler talks through (`MSComm1`). Writes return at
// once; reads return and remove everything received so far and never wait.
// Implemented on QSerialPort for local devices, on a TCP connection for serial
// servers on the network (remote/), and by fakes in tests.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // True exactly while a port is open; when false, callers write nothing.
    virtual bool portOpen() const = 0;
    // Opens the port chosen with setCommPort (true) or closes it (false).
    // Returns false when an open fails at once; openFailure() then says why. A port
    // that takes time to open (a network connection) returns true while portOpen()
    // is still false and opening() true, and later emits opened() or openFailed().
    // Closing it meanwhile abandons the open without either signal.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool opening() const { return false; }
    virtual OpenFailure openFailure() const = 0;
    // Chooses port 1..4 for the next open; set only while no port is open.
    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;
    // Queues the whole line for transmission. A failed write closes the port.
    virtual void output(const QByteArray& line) = 0;
    // Everything received since the previous read, one character per byte. A
    // network port returns it up to the last line end; the rest waits.
    virtual QString input() = 0;
    // How long replies may still be on their way when nothing has arrived: a network
    // path's round trip. A local port answers within a tick (0).
    virtual int replyWaitMs() const { return 0; }
    // Why the port was last lost, when the far end said so (a serial server refusing a
    // second user), or empty.
    virtual QString lossReason() const { return {}; }

signals:
    // An open that was under way has finished: the port is open, or it is not
    // and openFailure() says why.
    void opened();
    void openFailed();
    // The port closed itself after a failure (device unplugged, link gone).
    void lost();
    // A line could not leave within a bounded time and was not sent.
    void dropped(const QByteArray& line);
};

} // namespace rxdeck
