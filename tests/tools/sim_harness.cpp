// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_harness.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace rxdeck::testing {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& arguments)
    : ChildProcess(
          [&] {
              std::vector<std::string> argv{RXDECK_SIM_PATH};
              argv.insert(argv.end(), arguments.begin(), arguments.end());
              return argv;
          }(),
          {.output = {}, .pipeOutput = true})
{
}

SerialLine::SerialLine(const std::string& device)
    : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    termios settings{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd_, TCSANOW, &settings);
    }
}

SerialLine::~SerialLine()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void SerialLine::send(std::string_view line)
{
    sendRaw(std::string(line) + '\n');
}

void SerialLine::sendRaw(std::string_view bytes)
{
    if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("write to the simulator failed");
    }
}

std::string SerialLine::receive(std::chrono::milliseconds timeout, bool stopAtLineEnd)
{
    const auto deadline = Clock::now() + timeout;
    std::string received;
    while (!(stopAtLineEnd && received.ends_with("\r\n"))) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, remainingMs(deadline)) <= 0) {
            break;
        }
        char chunk[512];
        const ssize_t count = ::read(fd_, chunk, sizeof chunk);
        if (count <= 0) {
            break;
        }
        received.append(chunk, static_cast<std::size_t>(count));
    }
    return received;
}

std::string SerialLine::ask(std::string_view line, std::chrono::milliseconds timeout)
{
    send(line);
    std::string reply = receive(timeout, true);
    if (reply.ends_with("\r\n")) {
        reply.resize(reply.size() - 2);
    }
    return reply;
}

bool SerialLine::waitForHangup(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        pollfd fd{fd_, POLLIN, 0};
        ::poll(&fd, 1, remainingMs(deadline));
        if ((fd.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        char byte;
        const ssize_t count = ::read(fd_, &byte, 1);
        if (count == 0 || (count < 0 && errno == EIO)) {
            return true;
        }
    }
    return false;
}

SimulatedReceiver::SimulatedReceiver(std::vector<std::string> arguments)
    : process(arguments), device(process.readLine().value_or("")), line(device)
{
}

} // namespace rxdeck::testing
