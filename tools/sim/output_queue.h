// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "receiver.h"

#include <deque>
#include <optional>
#include <string>

namespace rxdeck::sim {

class TrafficLog;

// Writes waiting for their time. Writes go out in the order they were queued, even when a
// later one would be due first, as bytes on a serial line cannot overtake each other.
class OutputQueue
{
public:
    void push(Clock::time_point due, std::string bytes);

    // Writes everything due by now to fd. What does not fit into the line's buffer is lost, as
    // with an overrun UART.
    void sendDue(Clock::time_point now, int fd, TrafficLog* log);

    std::optional<Clock::time_point> nextDue() const;
    void clear() { pending_.clear(); }

private:
    struct Pending
    {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Pending> pending_;
};

} // namespace rxdeck::sim
