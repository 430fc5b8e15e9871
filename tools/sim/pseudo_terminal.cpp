// SPDX-License-Identifier: GPL-3.0-or-later
#include "pseudo_terminal.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <system_error>
#include <termios.h>

namespace rxdeck::sim {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    if (!master_.valid()) {
        fail("posix_openpt");
    }
    if (::grantpt(master()) != 0 || ::unlockpt(master()) != 0) {
        fail("grantpt/unlockpt");
    }
    std::array<char, 256> name{};
    if (::ptsname_r(master(), name.data(), name.size()) != 0) {
        fail("ptsname");
    }
    devicePath_ = name.data();

    device_ = UniqueFd(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!device_.valid()) {
        fail("open pseudo-terminal device");
    }
    // Raw 9600 8N1 like the receiver's port: no echo, no line editing, no CR/LF translation.
    termios settings{};
    if (::tcgetattr(device_.get(), &settings) != 0) {
        fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(device_.get(), TCSANOW, &settings) != 0) {
        fail("tcsetattr");
    }

    const int flags = ::fcntl(master(), F_GETFL);
    if (flags < 0 || ::fcntl(master(), F_SETFL, flags | O_NONBLOCK) != 0) {
        fail("fcntl O_NONBLOCK");
    }
}

} // namespace rxdeck::sim
