// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/portrouter.h"

#include "link/portmap.h"
#include "remote/networkaddress.h"
#include "remote/networkserialport.h"

namespace rxdeck::remote {

PortRouter::PortRouter(std::unique_ptr<SerialPort> local, QObject* parent)
    : SerialPort(parent), local_(local.release()), network_(new NetworkSerialPort(this)),
      active_(local_)
{
    local_->setParent(this);
    follow(local_);
    follow(network_);
}

void PortRouter::follow(SerialPort* port)
{
    // Only the port in use speaks for the router; the other is closed.
    connect(port, &SerialPort::opened, this, [this, port] {
        if (port == active_)
            emit opened();
    });
    connect(port, &SerialPort::openFailed, this, [this, port] {
        if (port == active_)
            emit openFailed();
    });
    connect(port, &SerialPort::lost, this, [this, port] {
        if (port == active_)
            emit lost();
    });
    connect(port, &SerialPort::dropped, this, [this, port](const QByteArray& line) {
        if (port == active_)
            emit dropped(line);
    });
}

void PortRouter::setCommPort(int port)
{
    commPort_ = port;
    local_->setCommPort(port);
    network_->setCommPort(port);
}

bool PortRouter::setPortOpen(bool open)
{
    if (!open)
        return active_->setPortOpen(false);
    if (!active_->portOpen() && !active_->opening())
        active_ =
            isNetworkDevice(commDevice(commPort_)) ? static_cast<SerialPort*>(network_) : local_;
    return active_->setPortOpen(true);
}

} // namespace rxdeck::remote
