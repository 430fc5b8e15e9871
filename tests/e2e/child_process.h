// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace rxdeck::e2e {

using namespace std::chrono_literals;

using Environment = std::vector<std::pair<std::string, std::string>>;

// A program started for the length of a test. It gets SIGTERM when the test process dies, and
// SIGTERM (then SIGKILL) when this object goes.
class ChildProcess
{
public:
    struct Options
    {
        Environment environment;                    // set on top of this process's environment
        std::filesystem::path output = "/dev/null"; // stdout and stderr
        int inheritedFd = -1;                       // a descriptor the child keeps open
    };

    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }

    // True while the process has not ended; reaps it once it has.
    bool running();

    // How it ended: the exit code, or 128 + the signal number. Nothing while it runs.
    std::optional<int> endStatus() const { return endStatus_; }

    // SIGTERM, a grace period, then SIGKILL.
    void stop();

private:
    pid_t pid_ = -1;
    std::optional<int> endStatus_;
};

struct CommandResult
{
    int status = -1; // exit code, 128 + signal, or -1 when it had to be killed on the timeout
    std::string output;
    bool ok() const { return status == 0; }
};

// Runs a command to its end and collects its stdout; kills it after the timeout.
CommandResult runCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = 15s);

// Whether an executable of that name is on PATH.
bool onPath(const std::string& name);

} // namespace rxdeck::e2e
