// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fault_injector.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rxdeck::sim {

struct Options
{
    std::optional<std::filesystem::path> link;
    std::optional<std::filesystem::path> log;
    bool logReplies = false;
    std::optional<std::uint64_t> seed;
    Faults faults;
    std::optional<std::chrono::milliseconds> hangupAfter;
    std::optional<std::chrono::milliseconds> returnAfter;
    // Fixed signals: (hertz, dBm) from --signal-at, and a file of such lines read again
    // whenever it changes, so a signal can come and go while the simulator runs.
    std::vector<std::pair<std::int64_t, double>> signalsAt;
    std::optional<std::filesystem::path> signalFile;
    std::chrono::milliseconds settle{0}; // the signal reads the floor this long after a tune
    unsigned baud = 9600; // replies take as long as on a line at this speed; 0: at once
    bool help = false;
    bool version = false;
};

struct ParsedOptions
{
    Options options;
    std::string error; // empty when the command line was fine
};

// "MHZ=DBM", e.g. "7.050=-60": the frequency in hertz and the level.
std::optional<std::pair<std::int64_t, double>> parseSignalAt(std::string_view text);

ParsedOptions parseOptions(std::span<const char* const> arguments);

std::string usage();

} // namespace rxdeck::sim
