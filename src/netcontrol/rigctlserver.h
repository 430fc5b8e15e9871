// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netcontrol/rigctlsession.h"
#include "status/receiverstatus.h"

#include <array>
#include <memory>
#include <optional>
#include <QObject>
#include <QString>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace rxdeck {

class SerialPort;

namespace netcontrol {

class LinePacer;

// Network control: a rigctld-protocol server on this computer only (127.0.0.1 and
// ::1). Reads are answered from the status poll's latest reply; sets go to the
// serial port through a LinePacer.
class RigctlServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxClients = 8;
    static constexpr quint16 defaultPort = 4532;

    RigctlServer(SerialPort& port, const QString& version, QObject* parent = nullptr);
    ~RigctlServer() override;

    // Starts listening; port 0 picks a free one. On failure says why in `error`.
    bool listen(quint16 port, QString* error = nullptr);
    quint16 port() const;
    int clientCount() const { return int(clients_.size()); }

    // "Network control on 127.0.0.1:4532, 2 programs connected".
    QString statusText() const;

    // Each decoded status reply from the poll.
    void updateStatus(const rxdeck::ReceiverStatus& status);
    // The poll sent status query number `query`.
    void noteQuerySent(quint64 query) { nextQuery_ = query + 1; }
    // A setting as the panel's control sent it or the settings snapshot showed it: newer
    // than any value a client set.
    void setSetting(rxdeck::netcontrol::Setting setting, int value);

signals:
    void clientCountChanged(int count);
    // A client asked to start or stop the memory scan.
    void scanRequested(rxdeck::netcontrol::ScanRequest request);
    // A client set the frequency: tuning like the user's own.
    void tuned();

private:
    struct Client;

    void accept(QTcpServer* server);
    void readFrom(Client& client);
    void drop(QTcpSocket* socket);
    void refuse(QTcpSocket* socket);
    void onWritten(LineKind kind);
    RigState answering() const;

    SerialPort& port_;
    QString version_;
    std::vector<QTcpServer*> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    LinePacer* pacer_;
    RigState received_; // as the latest status reply said
    bool haveStatus_ = false;
    // A value a client set answers every read until the reply to a status query
    // written after its line has been decoded.
    struct Held
    {
        RigState value;
        std::optional<quint64> firstAnswer; // the first query after the line went out
    };
    std::array<std::optional<Held>, lineKindCount> held_;
    quint64 nextQuery_ = 0;
};

} // namespace netcontrol
} // namespace rxdeck
