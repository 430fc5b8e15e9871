// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/linepacer.h"

#include "link/serialport.h"

namespace rxdeck::netcontrol {

LinePacer::LinePacer(SerialPort& port, QObject* parent) : QObject(parent), port_(port)
{
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &LinePacer::send);
}

void LinePacer::submit(const ReceiverLine& line)
{
    pending_[std::size_t(line.kind)] = line.line;
    // An idle line sends at once; the interval only spaces what follows.
    if (!timer_.isActive()) {
        send();
        timer_.start();
    }
}

bool LinePacer::hasPending() const
{
    for (const auto& line : pending_)
        if (line)
            return true;
    return false;
}

void LinePacer::send()
{
    if (!hasPending()) {
        timer_.stop();
        return;
    }
    for (std::size_t kind = 0; kind < pending_.size(); ++kind) {
        auto& line = pending_[kind];
        // The same guard as the panel's buttons: a closed port gets nothing.
        if (!line)
            continue;
        const bool open = port_.portOpen();
        if (open)
            port_.output(*line);
        line.reset();
        if (open)
            emit written(LineKind(kind));
        else
            emit dropped(LineKind(kind));
    }
}

} // namespace rxdeck::netcontrol
