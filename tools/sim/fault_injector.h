// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace rxdeck::sim {

// Ways a reply can go wrong on the way to the computer, for robustness tests.
struct Faults
{
    bool silent = false;       // no reply at all
    double garbageRate = 0.0;  // chance a reply becomes random bytes of about the same length
    double truncateRate = 0.0; // chance a reply is cut short
    std::chrono::milliseconds delay{0}; // replies go out this late, sometimes in two writes
    std::chrono::milliseconds lag{0};   // replies go out this late, always whole
    bool staleReply = false;            // a status reply waits on the line before anyone asks
    bool runTogether = false; // each settings reply comes with a status reply, in one write
};

// One write to the line, some time after the reply was made.
struct Transmission
{
    std::chrono::milliseconds after;
    std::string bytes;
};

// Turns a clean reply into what actually goes out on the line.
class FaultInjector
{
public:
    FaultInjector(const Faults& faults, std::uint64_t seed);

    std::vector<Transmission> shape(std::string reply);

private:
    std::string garble(std::string_view reply);
    std::string truncate(std::string_view reply);
    bool chance(double rate);
    std::size_t pick(std::size_t low, std::size_t high);

    Faults faults_;
    std::mt19937_64 random_;
};

} // namespace rxdeck::sim
