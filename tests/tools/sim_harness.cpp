// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_harness.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
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

int exitStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{RXDECK_SIM_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // A test that crashes or is killed on a timeout must not leave simulators behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent || ::dup2(pipeFds[1], STDOUT_FILENO) < 0) {
            ::_exit(127);
        }
        ::execv(RXDECK_SIM_PATH, pointers.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " RXDECK_SIM_PATH);
    }
}

SimulatorProcess::~SimulatorProcess()
{
    terminate();
    ::close(stdout_);
}

std::optional<std::string> SimulatorProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        pollfd fd{stdout_, POLLIN, 0};
        if (::poll(&fd, 1, remainingMs(deadline)) <= 0) {
            return std::nullopt;
        }
        char chunk[256];
        const ssize_t count = ::read(stdout_, chunk, sizeof chunk);
        if (count <= 0) {
            return std::nullopt;
        }
        buffered_.append(chunk, static_cast<std::size_t>(count));
    }
}

int SimulatorProcess::terminate()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
    }
    return wait();
}

int SimulatorProcess::wait()
{
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return exitStatus(status);
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
