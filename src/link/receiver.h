// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <QtGlobal>

// What the receiver offers: its detection modes, its IF bandwidths and the range it
// tunes. The panel's lamps, the signal log and network control all read them here.
namespace rxdeck::receiver {

// A detection mode, by its digit 1..6 in DETn and in the status reply.
struct Mode
{
    const char* name;
    int normalBandwidth; // the bandwidth digit the mode is usually heard with
};
inline constexpr std::array<Mode, 6> modes = {{
    {"AM", 4},
    {"FM", 5},
    {"CW", 2},
    {"USB", 3},
    {"LSB", 3},
    {"ISB", 3},
}};

// The IF bandwidths in Hz, by their digit 1..5 in BWSn and in the status reply.
inline constexpr std::array<int, 5> bandwidthsHz = {300, 1000, 3200, 6000, 16000};

// The receiver tunes from 5 kHz to 30 MHz.
inline constexpr qint64 lowestHz = 5'000;
inline constexpr qint64 highestHz = 30'000'000;

// A mode's entry, or none for a digit out of range.
constexpr const Mode* mode(int digit)
{
    return digit >= 1 && digit <= int(modes.size()) ? &modes[std::size_t(digit - 1)] : nullptr;
}

// A bandwidth digit's width in Hz, or 0 for a digit out of range.
constexpr int bandwidthHz(int digit)
{
    return digit >= 1 && digit <= int(bandwidthsHz.size()) ? bandwidthsHz[std::size_t(digit - 1)]
                                                           : 0;
}

} // namespace rxdeck::receiver

namespace rxdeck {

// The tuning range in MHz, as frequencies travel in the receiver's commands.
inline constexpr double lowestMHz = double(receiver::lowestHz) / 1e6;
inline constexpr double highestMHz = double(receiver::highestHz) / 1e6;

} // namespace rxdeck
