// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/portselection.h"

#include "link/commands.h"
#include "link/openfailure.h"
#include "link/portmap.h"
#include "link/serialport.h"

namespace rxdeck {

PortSelection::PortSelection(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {}

void PortSelection::Comm_Click(int n)
{
    emit chosen(n);
    if (!open(n))
        emit portNotAvailable(openFailureReason(port_.openFailure(), commDevice(n)));
}

bool PortSelection::open(int n)
{
    // Every step is tried; only the open can fail in practice. The status poll is
    // left running, so a re-selection keeps the display live.
    emit opening();
    if (port_.portOpen())
        port_.setPortOpen(false);
    port_.setCommPort(n);
    if (!port_.setPortOpen(true))
        return false;
    // Nothing received before our first question can be its answer.
    port_.input();
    port_.output(commands::settingsQuery());
    emit opened(n);
    return true;
}

} // namespace rxdeck
