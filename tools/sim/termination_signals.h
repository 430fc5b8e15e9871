// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "unique_fd.h"

#include <signal.h>

namespace rxdeck::sim {

// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor, so the poll loop sees them like
// any other input and can clean up (the device link above all) before it returns.
class TerminationSignals
{
public:
    TerminationSignals(); // throws std::system_error
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    ~TerminationSignals();

    int fd() const { return fd_.get(); }

private:
    sigset_t previousMask_{};
    UniqueFd fd_;
};

} // namespace rxdeck::sim
