// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialport.h"

#include <QSerialPort>

namespace rxdeck {

// The serial port on QSerialPort, set to the receiver's line (link/linesettings.h).
class QtSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);

    bool portOpen() const override;
    bool setPortOpen(bool open) override;
    OpenFailure openFailure() const override { return openFailure_; }
    void setCommPort(int port) override;
    int commPort() const override { return commPort_; }
    void output(const QByteArray& line) override;
    QString input() override;

private:
    void onError(QSerialPort::SerialPortError error);
    void closeAfterFailure();

    QSerialPort port_;
    int commPort_ = 1;
    OpenFailure openFailure_;
    bool failed_ = false; // a fault was seen; the port closes once control returns
};

} // namespace rxdeck
