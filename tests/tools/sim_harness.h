// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace rxdeck::testing {

using namespace std::chrono_literals;

// Runs the receiver simulator as a child process for the length of a test.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(const std::vector<std::string>& arguments);
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    ~SimulatorProcess(); // SIGTERM, then reaps the child

    // The next line the simulator prints on stdout (a device path), or nothing before timeout.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 2s);

    // Sends SIGTERM and returns the exit status, or -1 if it did not exit normally.
    int terminate();

    // Waits for the process to end by itself; exit status as above.
    int wait();

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string buffered_;
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
