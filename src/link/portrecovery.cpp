// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/portrecovery.h"

#include "link/portselection.h"
#include "link/serialport.h"

namespace rxdeck {

PortRecovery::PortRecovery(PortSelection& selection, SerialPort& port, QObject* parent)
    : QObject(parent), selection_(selection), port_(port)
{
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &PortRecovery::retry);
    connect(&selection, &PortSelection::chosen, this, &PortRecovery::onChosen);
    connect(&port, &SerialPort::lost, this, &PortRecovery::onLost);
}

void PortRecovery::onChosen(int n)
{
    // The same item chosen again while its device is away keeps the tries going.
    if (n != item_)
        timer_.stop();
    item_ = n;
}

void PortRecovery::onLost()
{
    if (item_ != 0)
        timer_.start();
}

void PortRecovery::retry()
{
    // A tick queued before the tries stopped finds nothing to do.
    if (!timer_.isActive())
        return;
    // Opened meanwhile, by the user's own choice of the same item.
    if (port_.portOpen()) {
        timer_.stop();
        return;
    }
    // One connection attempt at a time: a slow one finishes before the next starts.
    if (port_.opening())
        return;
    // A device that fails again at the first write is lost once more: keep trying.
    // A network port opens later; the next tick finds it open.
    if (selection_.open(item_) && port_.portOpen())
        timer_.stop();
}

} // namespace rxdeck
