// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/qtserialport.h"

#include "link/linesettings.h"
#include "link/portmap.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace rxdeck {

namespace {

QSerialPort::Parity parityOf(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

// QSerialPort reports a device held by another program as a permission error too
// (its lock file, or the exclusive flag the other program set). A device we may
// read and write is therefore taken, not forbidden.
OpenFailure failureOf(const QSerialPort& port, const QString& device)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return {OpenFailure::Kind::NoSuchDevice, {}};
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
            return {OpenFailure::Kind::PermissionDenied, {}};
#endif
        return {OpenFailure::Kind::InUse, {}};
    default:
        return {OpenFailure::Kind::Other, port.errorString()};
    }
}

} // namespace

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

bool QtSerialPort::portOpen() const
{
    return port_.isOpen() && !failed_;
}

bool QtSerialPort::setPortOpen(bool open)
{
    if (!open) {
        port_.close();
        failed_ = false;
        return true;
    }
    if (port_.isOpen())
        return true;
    failed_ = false;
    const QString device = commDevice(commPort_);
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite)) {
        openFailure_ = failureOf(port_, device);
        return false;
    }
    const bool configured = port_.setBaudRate(receiverLine.baudRate) &&
                            port_.setDataBits(QSerialPort::DataBits(receiverLine.dataBits)) &&
                            port_.setParity(parityOf(receiverLine.parity)) &&
                            port_.setStopBits(receiverLine.stopBits == 2 ? QSerialPort::TwoStop
                                                                         : QSerialPort::OneStop) &&
                            port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        openFailure_ = failureOf(port_, device);
        port_.close();
        return false;
    }
    port_.clearError();
    return true;
}

void QtSerialPort::setCommPort(int port)
{
    commPort_ = port;
}

void QtSerialPort::output(const QByteArray& line)
{
    if (!portOpen())
        return;
    if (port_.write(line) == line.size())
        port_.flush(); // hand the bytes to the driver now, not on the next event-loop pass
    else
        failed_ = true;
    if (failed_)
        closeAfterFailure();
}

QString QtSerialPort::input()
{
    if (!portOpen())
        return {};
    // Take in what the system has already received, even when no event loop has
    // run since it arrived. A zero timeout never blocks.
    while (port_.isOpen() && !failed_ && port_.waitForReadyRead(0)) {
    }
    const QByteArray bytes = port_.isOpen() ? port_.readAll() : QByteArray();
    if (failed_) {
        closeAfterFailure();
        return {};
    }
    return QString::fromLatin1(bytes);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // A zero-timeout wait reports TimeoutError when nothing has arrived.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    if (!port_.isOpen() || failed_)
        return;
    // An unplugged adapter raises ReadError or ResourceError over and over until
    // the port is closed. Close it, but not from inside QSerialPort's own call.
    failed_ = true;
    QMetaObject::invokeMethod(this, &QtSerialPort::closeAfterFailure, Qt::QueuedConnection);
}

void QtSerialPort::closeAfterFailure()
{
    // A close queued before the user reopened the port finds failed_ cleared.
    if (!failed_)
        return;
    failed_ = false;
    port_.close();
    emit lost();
}

} // namespace rxdeck
