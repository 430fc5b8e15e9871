// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/childprocess.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace rxdeck::testing {

using namespace std::chrono_literals;

// The receiver simulator for the length of a test; readLine() gives what it prints (first the
// device path), and stop() its exit status.
class SimulatorProcess : public test::ChildProcess
{
public:
    explicit SimulatorProcess(const std::vector<std::string>& arguments);
};

// The test's end of the serial line: the pseudo-terminal device, opened raw and non-blocking.
class SerialLine
{
public:
    explicit SerialLine(const std::string& device);
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;
    ~SerialLine();

    bool isOpen() const { return fd_ >= 0; }

    // Writes the text followed by a line feed.
    void send(std::string_view line);
    void sendRaw(std::string_view bytes);

    // Everything that arrives until timeout passes, or until a CR LF arrives when stopAtLineEnd.
    std::string receive(std::chrono::milliseconds timeout, bool stopAtLineEnd);

    // One reply, without its CR LF; empty if none came.
    std::string ask(std::string_view line, std::chrono::milliseconds timeout = 1s);

    // Waits for the line to report a hang-up (EIO, end of file or POLLHUP).
    bool waitForHangup(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
};

// Convenience: a simulator plus a line opened on the device it printed.
struct SimulatedReceiver
{
    explicit SimulatedReceiver(std::vector<std::string> arguments = {"--seed", "7"});

    SimulatorProcess process;
    std::string device;
    SerialLine line;
};

} // namespace rxdeck::testing
