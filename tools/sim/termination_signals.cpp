// SPDX-License-Identifier: GPL-3.0-or-later
#include "termination_signals.h"

#include <cerrno>
#include <sys/signalfd.h>
#include <system_error>

namespace rxdeck::sim {

TerminationSignals::TerminationSignals()
{
    sigset_t mask;
    ::sigemptyset(&mask);
    ::sigaddset(&mask, SIGINT);
    ::sigaddset(&mask, SIGTERM);
    ::sigaddset(&mask, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &mask, &previousMask_) != 0) {
        throw std::system_error(errno, std::generic_category(), "sigprocmask");
    }
    fd_ = UniqueFd(::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!fd_.valid()) {
        const int error = errno;
        ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

TerminationSignals::~TerminationSignals()
{
    fd_.reset();
    ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
}

} // namespace rxdeck::sim
