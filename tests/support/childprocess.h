// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one way the tests run another program: started for the length of a test, or run to its
// end with its output collected.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace rxdeck::test {

using namespace std::chrono_literals;

using Environment = std::vector<std::pair<std::string, std::string>>;

// A program started for the length of a test. It gets SIGTERM when the test process dies, and
// SIGTERM (then SIGKILL) when this object goes.
class ChildProcess
{
public:
    struct Options
    {
        Environment environment = {};               // set on top of this process's environment
        std::filesystem::path output = "/dev/null"; // stderr, and stdout unless piped; empty: ours
        bool pipeOutput = false;                    // stdout read with readLine()
    };

    explicit ChildProcess(const std::vector<std::string>& argv);
    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }

    // True while the process has not ended; reaps it once it has.
    bool running();

    // How it ended: the exit code, or 128 + the signal number. Nothing while it runs.
    std::optional<int> endStatus() const { return endStatus_; }

    // The next line of its piped stdout, or nothing before the timeout or at its end.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 2s);

    // Waits for the process to end by itself; its end status.
    int wait();

    // SIGTERM, a grace period, then SIGKILL; its end status.
    int stop();

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string buffered_;
    std::optional<int> endStatus_;
};

struct CommandOptions
{
    std::filesystem::path workingDirectory = {}; // empty: ours
    std::chrono::milliseconds timeout = 15s;
};

struct CommandResult
{
    int status = -1; // exit code, 128 + signal, or -1 when it had to be killed on the timeout
    std::string output;
    std::string errors;
    bool ok() const { return status == 0; }
};

// Runs a command to its end and collects its stdout and stderr; kills it after the timeout.
CommandResult runCommand(const std::vector<std::string>& argv, const CommandOptions& options = {});

// Whether an executable of that name is on PATH.
bool onPath(const std::string& name);

} // namespace rxdeck::test
