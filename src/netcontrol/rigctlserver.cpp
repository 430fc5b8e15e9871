// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlserver.h"

#include "link/serialport.h"
#include "netcontrol/linepacer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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
    connect(pacer_, &LinePacer::written, this, &RigctlServer::onWritten);
    connect(pacer_, &LinePacer::dropped, this,
            [this](LineKind kind) { held_[std::size_t(kind)].reset(); });
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
    received_.frequencyHz = status.frequencyHz;
    if (status.mode != 0)
        received_.mode = status.mode;
    if (status.bandwidth != 0)
        received_.bandwidth = status.bandwidth;
    received_.signalDbm = status.signalDbm;
    // The receiver has heard the line by now: its own value holds again, whatever it is.
    for (const LineKind kind : {LineKind::Frequency, LineKind::Mode})
        if (auto& held = held_[std::size_t(kind)];
            held && held->firstAnswer && status.reply >= *held->firstAnswer)
            held.reset();
}

void RigctlServer::setSetting(Setting setting, int value)
{
    received_.set(setting, value);
    held_[std::size_t(lineKindOf(setting))].reset();
}

void RigctlServer::onWritten(LineKind kind)
{
    if (auto& held = held_[std::size_t(kind)])
        held->firstAnswer = nextQuery_;
}

RigState RigctlServer::answering() const
{
    RigState state = received_;
    if (const auto& f = held_[std::size_t(LineKind::Frequency)])
        state.frequencyHz = f->value.frequencyHz;
    if (const auto& m = held_[std::size_t(LineKind::Mode)]) {
        state.mode = m->value.mode;
        state.bandwidth = m->value.bandwidth;
    }
    for (int s = 0; s < settingCount; ++s)
        if (const auto& held = held_[std::size_t(lineKindOf(Setting(s)))])
            state.settings[std::size_t(s)] = held->value.settings[std::size_t(s)];
    // A port closed since the last reply leaves nothing to answer from.
    state.ready = haveStatus_ && port_.portOpen();
    return state;
}

void RigctlServer::refuse(QTcpSocket* socket)
{
    // Busy: too many programs connected. Whatever the program sends meanwhile is
    // read and dropped, so closing does not reset the connection before it has
    // read the answer; it gets two seconds to hang up itself.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    socket->write("RPRT -14\n");
    socket->flush();
    QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
}

void RigctlServer::accept(QTcpServer* server)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        socket->setParent(this);
        if (clientCount() >= maxClients) {
            refuse(socket);
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
        RigState state = answering();
        Outcome outcome = client.session.handle(line, state);
        reply += outcome.reply;
        for (const ReceiverLine& receiverLine : outcome.lines) {
            // Held from now; counted from when the pacer actually writes it.
            held_[std::size_t(receiverLine.kind)] = Held{state, std::nullopt};
            pacer_->submit(receiverLine);
            if (receiverLine.kind == LineKind::Frequency)
                emit tuned();
        }
        for (const ScanRequest request : outcome.scans)
            emit scanRequested(request);
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
