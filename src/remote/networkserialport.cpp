// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/networkserialport.h"

#include "link/portmap.h"

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

bool NetworkSerialPort::setPortOpen(bool open)
{
    if (!open) {
        deadline_.stop();
        state_ = State::Closed;
        failed_ = false;
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
    // Once open, data waits for the next read.
}

void NetworkSerialPort::takeIn()
{
    const QByteArray bytes = socket_.readAll();
    if (!telnet_) {
        received_.append(bytes);
        return;
    }
    QByteArray answer;
    received_.append(telnet_->receive(bytes, answer));
    if (!answer.isEmpty())
        socket_.write(answer);
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
                failOpen({OpenFailure::Kind::Rfc2217Refused,
                          QStringLiteral("the server closed the connection")});
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
    if (state_ == State::Connecting) {
        failOpen({OpenFailure::Kind::Rfc2217Refused,
                  QStringLiteral("the server closed the connection")});
        return;
    }
    if (state_ != State::Open || failed_)
        return;
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
    socket_.abort();
    emit lost();
}

void NetworkSerialPort::output(const QByteArray& line)
{
    if (!portOpen())
        return;
    // A link that has stopped taking data holds no more than a local port would:
    // what cannot go out now is dropped, never sent late.
    const QByteArray bytes = telnet_ ? Rfc2217Session::escape(line) : line;
    if (socket_.bytesToWrite() + bytes.size() > transmitBuffer)
        return;
    socket_.write(bytes);
    socket_.flush(); // to the network now, not on the next event-loop pass
}

QString NetworkSerialPort::input()
{
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
