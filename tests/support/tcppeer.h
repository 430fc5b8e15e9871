// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one TCP peer of the tests: a client program at a server under test, or the server a
// program under test connects to, on loopback. Its waits keep Qt's events going, so the far
// end may live in the test's own process.

#include <chrono>
#include <string>
#include <string_view>
#include <utility>

namespace rxdeck::test {

using namespace std::chrono_literals;

// A loopback TCP port nobody listens on at the moment.
int freePort();

// A connection to the loopback port (without Nagle's delay), or -1.
int connectTo(int port);

// A socket listening on a free loopback port, and that port.
std::pair<int, int> listening();

class TcpPeer
{
public:
    // A server on a free loopback port, waiting for accept().
    TcpPeer();
    // A client connected to the loopback port; see connected().
    explicit TcpPeer(int port);
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;
    ~TcpPeer();

    int port() const { return port_; }
    bool connected() const { return fd_ >= 0; }

    // The server's next connection, in place of the one before; false if none came.
    bool accept(std::chrono::milliseconds timeout = 5s);
    // Whether another connection waits to be accepted.
    bool connectionWaiting() const;

    void send(std::string_view bytes);
    // What arrives until it holds `lines` line ends, the far end closes, or the timeout passes.
    std::string receive(int lines = 1, std::chrono::milliseconds timeout = 5s);
    // Reads until `bytes` has come since the connection began; false if it did not.
    bool expect(std::string_view bytes, std::chrono::milliseconds timeout = 5s);
    // Whether the far end ends the connection (within 5 s), ignoring anything it says first.
    bool closedByFarEnd()
    {
        receive(1 << 30);
        return !connected();
    }
    void close();

private:
    // Reads what is there, waiting up to `wait`; false (and closed) once the far end closes.
    bool readSome(std::string& into, std::chrono::milliseconds wait);

    int listener_ = -1;
    int fd_ = -1;
    int port_ = 0;
    std::string heard_;
};

} // namespace rxdeck::test
