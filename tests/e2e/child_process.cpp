// SPDX-License-Identifier: GPL-3.0-or-later
#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace rxdeck::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int decodeStatus(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// NULL-terminated arrays for execvpe, built before fork so the child only calls exec.
struct ExecArguments
{
    ExecArguments(const std::vector<std::string>& argv, const Environment& extra) : argv_(argv)
    {
        std::map<std::string, std::string> merged;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const auto equals = text.find('=');
            merged[text.substr(0, equals)] =
                equals == std::string::npos ? "" : text.substr(equals + 1);
        }
        for (const auto& [name, value] : extra) {
            merged[name] = value;
        }
        for (const auto& [name, value] : merged) {
            env_.push_back(name + "=" + value);
        }
        for (auto& text : argv_) {
            argvPointers_.push_back(text.data());
        }
        argvPointers_.push_back(nullptr);
        for (auto& text : env_) {
            envPointers_.push_back(text.data());
        }
        envPointers_.push_back(nullptr);
    }

    char* const* argv() { return argvPointers_.data(); }
    char* const* envp() { return envPointers_.data(); }

private:
    std::vector<std::string> argv_;
    std::vector<std::string> env_;
    std::vector<char*> argvPointers_;
    std::vector<char*> envPointers_;
};

// In the child: dies with the parent, then execs. Never returns.
[[noreturn]] void execChild(ExecArguments& arguments, pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    ::execvpe(arguments.argv()[0], arguments.argv(), arguments.envp());
    ::_exit(127);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
{
    ExecArguments arguments(argv, options.environment);
    const int output =
        ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output < 0) {
        throw std::runtime_error("cannot open " + options.output.string());
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        if (options.inheritedFd >= 0) {
            ::fcntl(options.inheritedFd, F_SETFD, 0);
        }
        execChild(arguments, parent);
    }
    ::close(output);
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " + argv.front());
    }
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::running()
{
    if (endStatus_) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        endStatus_ = decodeStatus(status);
        return false;
    }
    return true;
}

void ChildProcess::stop()
{
    if (!running()) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + 3s;
    while (running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        endStatus_ = decodeStatus(status);
    }
}

CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    ExecArguments arguments(argv, {});
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        execChild(arguments, parent);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv.front());
    }

    CommandResult result;
    const auto deadline = Clock::now() + timeout;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t count = ::read(pipeFds[0], chunk, sizeof chunk);
        if (count <= 0) {
            break; // end of output: the command has closed its stdout
        }
        result.output.append(chunk, static_cast<std::size_t>(count));
    }
    ::close(pipeFds[0]);
    if (timedOut) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = timedOut ? -1 : decodeStatus(status);
    return result;
}

bool onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const auto end = std::min(directories.find(':', start), directories.size());
        const std::string candidate = directories.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace rxdeck::e2e
