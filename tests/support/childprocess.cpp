// SPDX-License-Identifier: GPL-3.0-or-later
#include "childprocess.h"

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

namespace rxdeck::test {

namespace {

using Clock = std::chrono::steady_clock;

int decodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
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
        for (const auto& [name, value] : extra)
            merged[name] = value;
        for (const auto& [name, value] : merged)
            env_.push_back(name + "=" + value);
        const auto pointTo = [](std::vector<std::string>& texts, std::vector<char*>& pointers) {
            for (auto& text : texts)
                pointers.push_back(text.data());
            pointers.push_back(nullptr);
        };
        pointTo(argv_, argvPointers_);
        pointTo(env_, envPointers_);
    }

    std::vector<std::string> argv_, env_;
    std::vector<char*> argvPointers_, envPointers_;
};

// The child's stdout and stderr (-1: ours) and its working directory (empty: ours).
struct Streams
{
    int out = -1;
    int err = -1;
    std::string workingDirectory;
};

// Forks a child that dies with this process, reads /dev/null as stdin and execs the command.
pid_t spawn(const std::vector<std::string>& argv, const Environment& environment,
            const Streams& streams)
{
    ExecArguments arguments(argv, environment);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot start " + argv.front());
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    if (streams.out >= 0)
        ::dup2(streams.out, STDOUT_FILENO);
    if (streams.err >= 0)
        ::dup2(streams.err, STDERR_FILENO);
    if (::getppid() == parent &&
        (streams.workingDirectory.empty() || ::chdir(streams.workingDirectory.c_str()) == 0))
        ::execvpe(arguments.argvPointers_[0], arguments.argvPointers_.data(),
                  arguments.envPointers_.data());
    ::_exit(127);
}

// A pipe whose ends the child does not keep beyond its standard descriptors.
std::pair<int, int> makePipe()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    return {fds[0], fds[1]};
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
{
    const int output =
        options.output.empty()
            ? -1
            : ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output < 0 && !options.output.empty())
        throw std::runtime_error("cannot open " + options.output.string());
    int writeEnd = -1;
    if (options.pipeOutput)
        std::tie(stdout_, writeEnd) = makePipe();
    pid_ = spawn(argv, options.environment, {options.pipeOutput ? writeEnd : output, output, {}});
    for (const int fd : {writeEnd, output})
        if (fd >= 0)
            ::close(fd);
}

ChildProcess::~ChildProcess()
{
    stop();
    if (stdout_ >= 0)
        ::close(stdout_);
}

bool ChildProcess::running()
{
    int status = 0;
    if (!endStatus_ && ::waitpid(pid_, &status, WNOHANG) == pid_)
        endStatus_ = decodeStatus(status);
    return !endStatus_;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        pollfd fd{stdout_, POLLIN, 0};
        char chunk[256];
        const ssize_t count = stdout_ >= 0 && ::poll(&fd, 1, remainingMs(deadline)) > 0
                                  ? ::read(stdout_, chunk, sizeof chunk)
                                  : 0;
        if (count <= 0)
            return std::nullopt;
        buffered_.append(chunk, static_cast<std::size_t>(count));
    }
}

int ChildProcess::wait()
{
    int status = 0;
    if (!endStatus_ && ::waitpid(pid_, &status, 0) == pid_)
        endStatus_ = decodeStatus(status);
    return endStatus_.value_or(-1);
}

int ChildProcess::stop()
{
    if (running())
        ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + 3s;
    while (running() && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    if (running())
        ::kill(pid_, SIGKILL);
    return wait();
}

CommandResult runCommand(const std::vector<std::string>& argv, const CommandOptions& options)
{
    const auto [out, outEnd] = makePipe();
    const auto [err, errEnd] = makePipe();
    const pid_t pid = spawn(argv, {}, {outEnd, errEnd, options.workingDirectory.string()});
    ::close(outEnd);
    ::close(errEnd);

    CommandResult result;
    const auto deadline = Clock::now() + options.timeout;
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* texts[2] = {&result.output, &result.errors};
    while ((fds[0].fd >= 0 || fds[1].fd >= 0) && remainingMs(deadline) > 0) {
        if (::poll(fds, 2, remainingMs(deadline)) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t count = ::read(fds[i].fd, chunk, sizeof chunk);
            if (count > 0) {
                texts[i]->append(chunk, static_cast<std::size_t>(count));
            } else { // the command has closed it
                ::close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    const bool timedOut = fds[0].fd >= 0 || fds[1].fd >= 0;
    for (const pollfd& fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = timedOut ? -1 : decodeStatus(status);
    return result;
}

bool onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    const std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0, end = 0; start <= directories.size(); start = end + 1) {
        end = std::min(directories.find(':', start), directories.size());
        const std::string candidate = directories.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace rxdeck::test
