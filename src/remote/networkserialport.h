// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialport.h"
#include "remote/networkaddress.h"
#include "remote/rfc2217session.h"

#include <optional>
#include <QTcpSocket>
#include <QTimer>

namespace rxdeck::remote {

// The serial port on a TCP connection to a serial server (ser2net, an Ethernet
// serial server), for the items whose device is socket://HOST:PORT or
// rfc2217://HOST:PORT. Opening connects in the background; a connection lost later
// is a lost port. Reads end at the last line end received, so a reply that crosses
// the network in pieces is never taken half.
class NetworkSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    // How long connecting (and, for RFC 2217, setting up the far port) may take.
    static constexpr int openTimeoutMs = 5000;
    // What a local port would hold unsent, and the most a read waits to return
    // without a line end: a receiver that sends no line ends is still read.
    static constexpr qint64 transmitBuffer = 512;
    static constexpr qsizetype receiveBuffer = 1024;

    explicit NetworkSerialPort(QObject* parent = nullptr);
    ~NetworkSerialPort() override;

    bool portOpen() const override { return state_ == State::Open && !failed_; }
    bool setPortOpen(bool open) override;
    bool opening() const override { return state_ == State::Connecting; }
    OpenFailure openFailure() const override { return openFailure_; }
    void setCommPort(int port) override { commPort_ = port; }
    int commPort() const override { return commPort_; }
    void output(const QByteArray& line) override;
    QString input() override;

private:
    enum class State
    {
        Closed,
        Connecting, // TCP, then the RFC 2217 settings
        Open,
    };

    void onConnected();
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void failOpen(OpenFailure failure);
    void closeAfterFailure();
    void takeIn();

    QTcpSocket socket_;
    QTimer deadline_;
    int commPort_ = 1;
    State state_ = State::Closed;
    std::optional<NetworkAddress> address_;
    std::optional<Rfc2217Session> telnet_;
    QByteArray received_; // the line's data not yet read
    OpenFailure openFailure_;
    bool failed_ = false; // the connection broke; the port closes once control returns
};

} // namespace rxdeck::remote
