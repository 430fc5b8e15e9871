// SPDX-License-Identifier: GPL-3.0-or-later
#include "output_queue.h"

#include "traffic_log.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace rxdeck::sim {

void OutputQueue::push(Clock::time_point due, std::string bytes)
{
    if (!pending_.empty()) {
        due = std::max(due, pending_.back().due);
    }
    pending_.push_back({due, std::move(bytes)});
}

void OutputQueue::sendDue(Clock::time_point now, int fd, TrafficLog* log)
{
    while (!pending_.empty() && pending_.front().due <= now) {
        const std::string& bytes = pending_.front().bytes;
        ssize_t written = 0;
        do {
            written = ::write(fd, bytes.data(), bytes.size());
        } while (written < 0 && errno == EINTR);
        if (log != nullptr && written > 0) {
            log->sent(std::string_view(bytes).substr(0, static_cast<std::size_t>(written)));
        }
        pending_.pop_front();
    }
}

std::optional<Clock::time_point> OutputQueue::nextDue() const
{
    if (pending_.empty()) {
        return std::nullopt;
    }
    return pending_.front().due;
}

} // namespace rxdeck::sim
