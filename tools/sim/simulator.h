// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "command_line.h"
#include "device_link.h"
#include "fault_injector.h"
#include "options.h"
#include "output_queue.h"
#include "pseudo_terminal.h"
#include "receiver.h"
#include "termination_signals.h"
#include "traffic_log.h"

#include <optional>

namespace rxdeck::sim {

// The receiver behind its serial line: one poll() loop that reads command lines from the
// pseudo-terminal, answers them, runs the scan and plays the unplug and replug faults.
class Simulator
{
public:
    Simulator(const Options& options, std::uint64_t seed); // throws on setup failure

    // Runs until SIGINT, SIGTERM or SIGHUP; returns the exit status.
    int run();

private:
    void plugIn();
    void unplug();
    void receive(Clock::time_point now);
    std::optional<Clock::time_point> nextWake() const;
    void readSignalFile();

    TerminationSignals signals_; // first, so no signal is missed while the rest is set up
    Options options_;
    Receiver receiver_;
    FaultInjector faults_;
    OutputQueue output_;
    LineAssembler lines_;
    std::optional<TrafficLog> log_;
    std::optional<DeviceLink> link_;
    std::optional<PseudoTerminal> device_;
    std::optional<Clock::time_point> hangupAt_;
    std::optional<Clock::time_point> returnAt_;
    std::optional<std::filesystem::file_time_type> signalFileTime_;
};

} // namespace rxdeck::sim
