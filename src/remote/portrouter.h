// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialport.h"

#include <memory>

namespace rxdeck::remote {

class NetworkSerialPort;

// The program's one serial port: each open goes to the local serial port or to a
// serial server on the network, by the device the chosen item names (portmap.h).
// Handlers see one port either way.
class PortRouter final : public SerialPort
{
    Q_OBJECT
public:
    explicit PortRouter(std::unique_ptr<SerialPort> local, QObject* parent = nullptr);

    bool portOpen() const override { return active_->portOpen(); }
    bool setPortOpen(bool open) override;
    bool opening() const override { return active_->opening(); }
    OpenFailure openFailure() const override { return active_->openFailure(); }
    void setCommPort(int port) override;
    int commPort() const override { return commPort_; }
    void output(const QByteArray& line) override { active_->output(line); }
    QString input() override { return active_->input(); }
    int replyWaitMs() const override { return active_->replyWaitMs(); }
    QString lossReason() const override { return active_->lossReason(); }

private:
    void follow(SerialPort* port);

    SerialPort* local_;
    NetworkSerialPort* network_;
    SerialPort* active_;
    int commPort_ = 1;
};

} // namespace rxdeck::remote
