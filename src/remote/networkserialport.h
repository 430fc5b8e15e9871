// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialport.h"
#include "remote/networkaddress.h"
#include "remote/rfc2217session.h"

#include <deque>
#include <optional>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

namespace rxdeck::remote {

// The serial port on a TCP connection to a serial server (ser2net, an Ethernet
// serial server), for the items whose device is socket://HOST:PORT or
// rfc2217://HOST:PORT. Opening connects in the background; a connection lost later
// is a lost port. Reads end at the last line end received, so a reply that crosses
// the network in pieces is never taken half.
//
// Nothing goes out late: the kernel holds little, a query is skipped while the last
// one has not left or more are on their way than the round trip explains (so a
// stalled path holds one), a user's line that cannot leave within a second is
// dropped (and dropped() says so), and a connection that answers nothing for a few
// seconds while being asked is reset, to be opened again, rather than left to TCP's
// backoff.
class NetworkSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    // How long connecting (and, for RFC 2217, setting up the far port) may take.
    static constexpr int openTimeoutMs = 5000;
    // The most a read waits to return without a line end: a receiver that sends no
    // line ends is still read.
    static constexpr qsizetype receiveBuffer = 1024;
    // The most queries on their way at once, however long the round trip.
    static constexpr int maxQueriesInFlight = 5;
    // Unanswered this long: the connection is dead, whatever TCP thinks.
    static constexpr int silenceLimitMs = 3000;
    // The longest a user's line may wait to leave.
    static constexpr int lineLifeMs = 1000;

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
    int replyWaitMs() const override;
    QString lossReason() const override { return lossReason_; }

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
    void send(const QByteArray& line, bool query);
    void sendWaiting();
    bool stalled() const;
    bool canLeave() const;
    qint64 kernelUnsent() const;
    void checkSilence();
    void noteArrival();
    void clearLink();
    QString serverSays() const;

    QTcpSocket socket_;
    QTimer deadline_;
    QTimer waitingTimer_; // sends the waiting lines as the link takes them
    int commPort_ = 1;
    State state_ = State::Closed;
    std::optional<NetworkAddress> address_;
    std::optional<Rfc2217Session> telnet_;
    QByteArray received_; // the line's data not yet read
    OpenFailure openFailure_;
    QString lossReason_;
    QByteArray firstLine_; // what the server sent first on this connection
    bool failed_ = false;  // the connection broke; the port closes once control returns
    struct WaitingLine
    {
        QByteArray line;
        QElapsedTimer age;
    };
    std::deque<WaitingLine> waiting_; // the user's lines the link could not take yet
    QElapsedTimer silentSince_;       // from the first line written after the last arrival
    int unanswered_ = 0;              // queries written since the last arrival
    QElapsedTimer queryAge_;          // the oldest query since the last arrival
    qint64 roundTripMs_ = 0;          // smoothed, from queries to their answers
};

} // namespace rxdeck::remote
