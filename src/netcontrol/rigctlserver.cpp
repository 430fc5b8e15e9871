// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlserver.h"

#include "link/serialport.h"
#include "netcontrol/linepacer.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace rxdeck::netcontrol {
namespace {

constexpr qint64 maxUnreadReplies = 64 * 1024;

} // namespace

struct RigctlServer::Client
{
    QTcpSocket* socket;
    RigctlSession session;
    QByteArray buffer; // the start of a line still to be completed
};

RigctlServer::RigctlServer(SerialPort& port, const QString& version, QObject* parent)
    : QObject(parent), port_(port), version_(version), pacer_(new LinePacer(port, this))
{
}

RigctlServer::~RigctlServer()
{
    // Sockets go quietly: no signal may reach a half-destroyed server.
    for (const auto& client : clients_)
        client->socket->disconnect(this);
}

bool RigctlServer::listen(quint16 port, QString* error)
{
    auto* v4 = new QTcpServer(this);
    if (!v4->listen(QHostAddress::LocalHost, port)) {
        if (error)
            *error = QStringLiteral("127.0.0.1:%1: %2").arg(port).arg(v4->errorString());
        delete v4;
        return false;
    }
    servers_.push_back(v4);
    // IPv6 loopback too where the system has it, on the same port.
    auto* v6 = new QTcpServer(this);
    if (v6->listen(QHostAddress::LocalHostIPv6, v4->serverPort()))
        servers_.push_back(v6);
    else
        delete v6;
    for (QTcpServer* server : servers_) {
        server->setMaxPendingConnections(maxClients);
        connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
    }
    return true;
}

quint16 RigctlServer::port() const
{
    return servers_.empty() ? 0 : servers_.front()->serverPort();
}

QString RigctlServer::statusText() const
{
    const int n = clientCount();
    const QString clients = n == 0   ? QStringLiteral("no programs connected")
                            : n == 1 ? QStringLiteral("1 program connected")
                                     : QStringLiteral("%1 programs connected").arg(n);
    return QStringLiteral("Network control on 127.0.0.1:%1, %2").arg(port()).arg(clients);
}

void RigctlServer::updateStatus(const ReceiverStatus& status)
{
    // A reply too garbled to hold a frequency says nothing; an unreadable digit
    // leaves the last known value, as it leaves the lamps.
    if (status.frequencyHz <= 0)
        return;
    haveStatus_ = true;
    state_.frequencyHz = status.frequencyHz;
    if (status.mode != 0)
        state_.mode = status.mode;
    if (status.bandwidth != 0)
        state_.bandwidth = status.bandwidth;
    state_.signalDbm = status.signalDbm;
}

void RigctlServer::accept(QTcpServer* server)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        socket->setParent(this);
        if (clientCount() >= maxClients) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write("RPRT -14\n"); // busy: too many programs connected
            socket->disconnectFromHost();
            continue;
        }
        clients_.push_back(std::make_unique<Client>(Client{socket, RigctlSession(version_), {}}));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            for (const auto& client : clients_)
                if (client->socket == socket)
                    return readFrom(*client);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit clientCountChanged(clientCount());
    }
}

void RigctlServer::readFrom(Client& client)
{
    QTcpSocket* socket = client.socket;
    client.buffer += socket->readAll();
    QByteArray reply;
    bool close = false;
    qsizetype start = 0;
    for (qsizetype end; !close && (end = client.buffer.indexOf('\n', start)) >= 0;
         start = end + 1) {
        QByteArrayView line(client.buffer.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLineLength) {
            close = true;
            break;
        }
        // A port closed since the last reply leaves nothing to answer from.
        if (!port_.portOpen())
            haveStatus_ = false;
        state_.ready = haveStatus_;
        Outcome outcome = client.session.handle(line, state_);
        reply += outcome.reply;
        for (const ReceiverLine& receiverLine : outcome.lines)
            pacer_->submit(receiverLine);
        close = outcome.close;
    }
    client.buffer.remove(0, start);
    if (client.buffer.size() > maxLineLength)
        close = true;
    if (!reply.isEmpty()) {
        socket->write(reply);
        socket->flush(); // now, not on a later turn of the event loop
    }
    // A client that asks without reading would pile up its answers here.
    if (socket->bytesToWrite() > maxUnreadReplies)
        socket->abort();
    else if (close)
        socket->disconnectFromHost(); // sends what was written, then drops the client
}

void RigctlServer::drop(QTcpSocket* socket)
{
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if ((*it)->socket == socket) {
            clients_.erase(it);
            socket->deleteLater();
            emit clientCountChanged(clientCount());
            return;
        }
    }
}

} // namespace rxdeck::netcontrol
