// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/networkserialport.h"

#include "link/commands.h"
#include "link/portmap.h"

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#if __has_include(<linux/sockios.h>)
#include <linux/sockios.h>
#endif

namespace rxdeck::remote {

NetworkSerialPort::NetworkSerialPort(QObject* parent) : SerialPort(parent)
{
    // A server that floods us is held back by TCP, not by our memory.
    socket_.setReadBufferSize(16 * 1024);
    deadline_.setSingleShot(true);
    deadline_.setInterval(openTimeoutMs);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        // Connected but not set up: the server does not speak RFC 2217 on that port.
        if (socket_.state() == QAbstractSocket::ConnectedState)
            failOpen({OpenFailure::Kind::Rfc2217Refused,
                      QStringLiteral("no answer to the COM-PORT negotiation in %1 seconds")
                          .arg(openTimeoutMs / 1000)});
        else
            failOpen({OpenFailure::Kind::TimedOut, {}});
    });
    waitingTimer_.setInterval(20);
    connect(&waitingTimer_, &QTimer::timeout, this, &NetworkSerialPort::sendWaiting);
    connect(&socket_, &QTcpSocket::connected, this, &NetworkSerialPort::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkSerialPort::onReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkSerialPort::onSocketError);
    connect(&socket_, &QTcpSocket::disconnected, this, &NetworkSerialPort::onDisconnected);
}

NetworkSerialPort::~NetworkSerialPort()
{
    // The socket goes last and says "disconnected" as it goes: by then the members
    // its handlers use are gone.
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
}

void NetworkSerialPort::clearLink()
{
    waiting_.clear();
    waitingTimer_.stop();
    silentSince_.invalidate();
    unanswered_ = 0;
    queryAge_.invalidate();
    roundTripMs_ = 0;
}

bool NetworkSerialPort::setPortOpen(bool open)
{
    if (!open) {
        deadline_.stop();
        state_ = State::Closed;
        failed_ = false;
        clearLink();
        socket_.abort();
        return true;
    }
    if (state_ != State::Closed)
        return true;
    address_ = networkAddress(commDevice(commPort_));
    if (!address_) {
        openFailure_ = {OpenFailure::Kind::BadAddress, {}};
        return false;
    }
    failed_ = false;
    received_.clear();
    firstLine_.clear();
    clearLink();
    telnet_.reset();
    if (address_->protocol == NetworkAddress::Protocol::Rfc2217)
        telnet_.emplace();
    state_ = State::Connecting;
    deadline_.start();
    socket_.connectToHost(address_->host, address_->port);
    return true;
}

void NetworkSerialPort::onConnected()
{
    if (state_ != State::Connecting)
        return;
    // Each line goes out as it is written, not gathered with the next.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // The kernel may hold a few lines, not seconds of them, and gives up on data
    // nobody acknowledges within the silence limit.
    const int fd = int(socket_.socketDescriptor());
    const int sendBuffer = 2048;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
#ifdef TCP_USER_TIMEOUT
    const unsigned userTimeout = silenceLimitMs;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
#endif
    if (!telnet_) {
        deadline_.stop();
        state_ = State::Open;
        emit opened();
        return;
    }
    socket_.write(telnet_->start());
}

void NetworkSerialPort::onReadyRead()
{
    if (state_ == State::Connecting && telnet_) {
        takeIn();
        if (telnet_->state() == Rfc2217Session::State::Refused) {
            failOpen({OpenFailure::Kind::Rfc2217Refused, telnet_->refusal()});
        } else if (telnet_->state() == Rfc2217Session::State::Ready) {
            deadline_.stop();
            state_ = State::Open;
            emit opened();
        }
    }
    // Once open, data waits for the next read; its arrival is noted now.
    if (state_ == State::Open && socket_.bytesAvailable() > 0)
        noteArrival();
}

void NetworkSerialPort::noteArrival()
{
    if (queryAge_.isValid()) {
        const qint64 sample = queryAge_.elapsed();
        roundTripMs_ = roundTripMs_ == 0 ? sample : (3 * roundTripMs_ + sample) / 4;
    }
    queryAge_.invalidate();
    silentSince_.invalidate();
    unanswered_ = 0;
}

int NetworkSerialPort::replyWaitMs() const
{
    // Several ticks, or what the measured round trip explains.
    return int(std::clamp<qint64>(3 * roundTripMs_, 500, silenceLimitMs - 500));
}

qint64 NetworkSerialPort::kernelUnsent() const
{
    int bytes = 0;
#ifdef SIOCOUTQNSD
    if (::ioctl(int(socket_.socketDescriptor()), SIOCOUTQNSD, &bytes) != 0)
        bytes = 0;
#endif
    return bytes;
}

bool NetworkSerialPort::stalled() const
{
    return silentSince_.isValid() && silentSince_.elapsed() > replyWaitMs();
}

bool NetworkSerialPort::canLeave() const
{
    return socket_.bytesToWrite() == 0 && kernelUnsent() == 0 && !stalled();
}

void NetworkSerialPort::checkSilence()
{
    if (!portOpen() || !silentSince_.isValid() || silentSince_.elapsed() <= silenceLimitMs)
        return;
    // Reset, not closed in order: what it still holds must not reach the receiver.
    const linger reset{1, 0};
    ::setsockopt(int(socket_.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    lossReason_.clear();
    failed_ = true;
    QMetaObject::invokeMethod(this, &NetworkSerialPort::closeAfterFailure, Qt::QueuedConnection);
}

void NetworkSerialPort::takeIn()
{
    const QByteArray bytes = socket_.readAll();
    if (!bytes.isEmpty() && state_ == State::Open)
        noteArrival();
    QByteArray data = bytes;
    if (telnet_) {
        QByteArray answer;
        data = telnet_->receive(bytes, answer);
        if (!answer.isEmpty())
            socket_.write(answer);
    }
    if (firstLine_.size() < 120 && !firstLine_.contains('\n'))
        firstLine_.append(data.left(120 - firstLine_.size()));
    received_.append(data);
}

QString NetworkSerialPort::serverSays() const
{
    // A serial server that turns a connection away says why in a line of text, where
    // the receiver's replies hold fields between semicolons.
    const QByteArray line = firstLine_.left(firstLine_.indexOf('\n')).trimmed();
    if (line.isEmpty() || line.contains(';'))
        return {};
    return QString::fromLatin1(line);
}

void NetworkSerialPort::onSocketError(QAbstractSocket::SocketError error)
{
    if (state_ == State::Connecting) {
        switch (error) {
        case QAbstractSocket::HostNotFoundError:
            failOpen({OpenFailure::Kind::HostNotFound, {}});
            return;
        case QAbstractSocket::ConnectionRefusedError:
            failOpen({OpenFailure::Kind::ConnectionRefused, {}});
            return;
        case QAbstractSocket::SocketTimeoutError:
            failOpen({OpenFailure::Kind::TimedOut, {}});
            return;
        case QAbstractSocket::RemoteHostClosedError:
            if (telnet_) {
                onDisconnected();
                return;
            }
            break;
        default:
            break;
        }
        failOpen({OpenFailure::Kind::Other, socket_.errorString()});
        return;
    }
    onDisconnected();
}

void NetworkSerialPort::onDisconnected()
{
    takeIn();
    const QString says = serverSays();
    const QString closed = says.isEmpty()
                               ? QStringLiteral("the server closed the connection")
                               : QStringLiteral("the server closed the connection: %1").arg(says);
    if (state_ == State::Connecting) {
        failOpen({OpenFailure::Kind::Rfc2217Refused, closed});
        return;
    }
    if (state_ != State::Open || failed_)
        return;
    lossReason_ = says.isEmpty() ? QString() : closed;
    // Not from inside the socket's own call, which may be one of ours.
    failed_ = true;
    QMetaObject::invokeMethod(this, &NetworkSerialPort::closeAfterFailure, Qt::QueuedConnection);
}

void NetworkSerialPort::failOpen(OpenFailure failure)
{
    if (state_ != State::Connecting)
        return;
    deadline_.stop();
    state_ = State::Closed;
    openFailure_ = std::move(failure);
    socket_.abort();
    emit openFailed();
}

void NetworkSerialPort::closeAfterFailure()
{
    // A close queued before the user reopened the port finds failed_ cleared.
    if (!failed_)
        return;
    failed_ = false;
    state_ = State::Closed;
    clearLink();
    socket_.abort();
    emit lost();
}

void NetworkSerialPort::output(const QByteArray& line)
{
    checkSilence();
    if (!portOpen())
        return;
    // A query is asked again on the next tick: one that cannot leave now is skipped,
    // and so is one beyond what a tick's worth of round trips keeps on its way.
    if (line == commands::statusQuery() || line == commands::settingsQuery()) {
        const qint64 inFlight = std::min<qint64>(maxQueriesInFlight, 1 + (roundTripMs_ + 99) / 100);
        if (socket_.bytesToWrite() > 0 || kernelUnsent() > 0 || unanswered_ >= inFlight)
            return;
        ++unanswered_;
        send(line, true);
        return;
    }
    if (waiting_.empty() && canLeave()) {
        send(line, false);
        return;
    }
    WaitingLine waiting{line, {}};
    waiting.age.start();
    waiting_.push_back(std::move(waiting));
    waitingTimer_.start();
}

void NetworkSerialPort::sendWaiting()
{
    checkSilence();
    while (!waiting_.empty() && waiting_.front().age.elapsed() > lineLifeMs) {
        emit dropped(waiting_.front().line);
        waiting_.pop_front();
    }
    while (portOpen() && !waiting_.empty() && canLeave()) {
        send(waiting_.front().line, false);
        waiting_.pop_front();
    }
    if (waiting_.empty())
        waitingTimer_.stop();
}

void NetworkSerialPort::send(const QByteArray& line, bool query)
{
    if (!silentSince_.isValid())
        silentSince_.start();
    if (query && !queryAge_.isValid())
        queryAge_.start();
    socket_.write(telnet_ ? Rfc2217Session::escape(line) : line);
    socket_.flush(); // to the network now, not on the next event-loop pass
}

QString NetworkSerialPort::input()
{
    checkSilence();
    if (!portOpen())
        return {};
    takeIn();
    if (telnet_ && telnet_->state() == Rfc2217Session::State::Refused) {
        onDisconnected();
        return {};
    }
    // Up to the last line end; the rest of a reply still on its way waits.
    qsizetype end = received_.lastIndexOf('\n') + 1;
    if (end == 0 && received_.size() >= receiveBuffer)
        end = received_.size();
    const QByteArray bytes = received_.left(end);
    received_.remove(0, end);
    return QString::fromLatin1(bytes);
}

} // namespace rxdeck::remote
