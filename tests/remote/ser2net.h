// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Debian's ser2net on loopback, bridging a serial device for one test, and a TCP relay that
// makes a link slow.

#include "support/childprocess.h"
#include "support/tcppeer.h"

#include <atomic>
#include <filesystem>
#include <memory>

#include <string>
#include <thread>

namespace rxdeck::remote::testing {

using namespace std::chrono_literals;

using test::freePort;

// ser2net in the foreground with a configuration of its own: `device` reachable raw at
// rawPort() and through telnet with RFC 2217 at rfc2217Port(). The RFC 2217 connection opens
// the device at `rfc2217Default` (e.g. "19200e72"), so the client's settings are visible.
class Ser2net
{
public:
    Ser2net(const std::filesystem::path& folder, const std::string& device,
            const std::string& rfc2217Default = "9600n81");

    static bool installed();

    // Starts it and waits until both ports accept; false if they never did.
    bool start();
    void stop();

    int rawPort() const { return rawPort_; }
    int rfc2217Port() const { return rfc2217Port_; }

private:
    std::filesystem::path config_;
    std::filesystem::path output_;
    int rawPort_;
    int rfc2217Port_;
    std::unique_ptr<test::ChildProcess> process_;
};

// Forwards one connection at a time from port() to `target`, holding every piece `delay` (give
// or take up to `jitter`) each way and splitting each piece from the target in two, `gap`
// apart, after its first `splitAt` bytes. With `shiftEvery` n, every nth status reply loses
// the first digit of its frequency, which shifts its fields by one byte.
class SlowRelay
{
public:
    SlowRelay(int target, std::chrono::milliseconds delay, std::size_t splitAt,
              std::chrono::milliseconds gap, std::chrono::milliseconds jitter = {},
              int shiftEvery = 0);
    ~SlowRelay();
    SlowRelay(const SlowRelay&) = delete;
    SlowRelay& operator=(const SlowRelay&) = delete;

    int port() const { return port_; }

    // Holds all traffic, and new connections, for `duration` from now, like a black hole
    // that is then lifted.
    void stall(std::chrono::milliseconds duration);

private:
    void run();

    int target_;
    std::chrono::milliseconds delay_;
    std::size_t splitAt_;
    std::chrono::milliseconds gap_;
    std::chrono::milliseconds jitter_;
    int shiftEvery_;
    std::atomic<std::chrono::steady_clock::rep> stallUntil_{0};
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace rxdeck::remote::testing
