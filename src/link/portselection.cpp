// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/portselection.h"

#include "link/commands.h"
#include "link/openfailure.h"
#include "link/portmap.h"
#include "link/serialport.h"

#include <utility>

namespace rxdeck {

PortSelection::PortSelection(SerialPort& port, QObject* parent) : QObject(parent), port_(port)
{
    connect(&port, &SerialPort::opened, this, &PortSelection::onOpened);
    connect(&port, &SerialPort::openFailed, this, &PortSelection::onOpenFailed);
}

void PortSelection::Comm_Click(int n)
{
    emit chosen(n);
    if (!begin(n, true))
        emit portNotAvailable(openFailureReason(port_.openFailure(), commDevice(n)));
}

bool PortSelection::open(int n)
{
    return begin(n, false);
}

bool PortSelection::begin(int n, bool warn)
{
    // Every step is tried; only the open can fail in practice. The status poll is
    // left running, so a re-selection keeps the display live. An open still under
    // way is abandoned for the new one.
    emit opening();
    opening_ = 0;
    if (port_.portOpen() || port_.opening())
        port_.setPortOpen(false);
    port_.setCommPort(n);
    if (!port_.setPortOpen(true))
        return false;
    if (port_.portOpen()) {
        start(n);
    } else {
        opening_ = n;
        warnOnFailure_ = warn;
    }
    return true;
}

void PortSelection::onOpened()
{
    if (opening_ != 0)
        start(std::exchange(opening_, 0));
}

void PortSelection::onOpenFailed()
{
    const int n = std::exchange(opening_, 0);
    if (n != 0 && warnOnFailure_)
        emit portNotAvailable(openFailureReason(port_.openFailure(), commDevice(n)));
}

void PortSelection::start(int n)
{
    // Nothing received before our first question can be its answer.
    port_.input();
    port_.output(commands::settingsQuery());
    emit opened(n);
}

} // namespace rxdeck
