// SPDX-License-Identifier: GPL-3.0-or-later
#include "tcppeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <QCoreApplication>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace rxdeck::test {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Waits up to `wait` for something to read, in short slices between which Qt's events run.
bool readable(int fd, std::chrono::milliseconds wait)
{
    for (const auto deadline = Clock::now() + wait;;) {
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0)
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

} // namespace

std::pair<int, int> listening()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd, 4);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return {fd, ntohs(address.sin_port)};
}

int freePort()
{
    const auto [fd, port] = listening();
    ::close(fd);
    return port;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

TcpPeer::TcpPeer()
{
    std::tie(listener_, port_) = listening();
}

TcpPeer::TcpPeer(int port) : fd_(connectTo(port)), port_(port) {}

TcpPeer::~TcpPeer()
{
    close();
    if (listener_ >= 0)
        ::close(listener_);
}

bool TcpPeer::accept(std::chrono::milliseconds timeout)
{
    if (!readable(listener_, timeout))
        return false;
    close();
    fd_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    heard_.clear();
    return fd_ >= 0;
}

bool TcpPeer::connectionWaiting() const
{
    pollfd p{listener_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void TcpPeer::send(std::string_view bytes)
{
    (void)!::write(fd_, bytes.data(), bytes.size());
}

bool TcpPeer::readSome(std::string& into, std::chrono::milliseconds wait)
{
    if (!readable(fd_, wait))
        return true;
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) {
        close();
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    heard_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::string TcpPeer::receive(int lines, std::chrono::milliseconds timeout)
{
    std::string text;
    for (const auto deadline = Clock::now() + timeout;
         connected() && std::count(text.begin(), text.end(), '\n') < lines &&
         Clock::now() < deadline && readSome(text, 100ms);) {
    }
    return text;
}

bool TcpPeer::expect(std::string_view bytes, std::chrono::milliseconds timeout)
{
    std::string ignored;
    for (const auto deadline = Clock::now() + timeout; heard_.find(bytes) == std::string::npos;)
        if (!connected() || Clock::now() >= deadline || !readSome(ignored, 100ms))
            return false;
    return true;
}

void TcpPeer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace rxdeck::test
