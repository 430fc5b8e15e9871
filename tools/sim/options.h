// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fault_injector.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

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
    unsigned baud = 9600; // replies take as long as on a line at this speed; 0: at once
    bool help = false;
    bool version = false;
};

struct ParsedOptions
{
    Options options;
    std::string error; // empty when the command line was fine
};

ParsedOptions parseOptions(std::span<const char* const> arguments);

std::string usage();

} // namespace rxdeck::sim
