// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>

namespace rxdeck::sim {

// Produces signal-level readings that look like a band: a wandering noise floor, stations on
// some 5 kHz channels (which ones depends on the seed), fading on top, and now and then a
// strong station that keys up for a while on whatever channel is tuned.
class SignalModel
{
public:
    static constexpr double floorDbm = -125.0;
    static constexpr double ceilingDbm = -40.0;

    explicit SignalModel(std::uint64_t seed);

    // One reading in dBm, to 0.1 dB; each reading moves the noise, fading and bursts on a step.
    double read(double frequencyMHz, int rfPath);

    // Fixed signals by frequency in hertz: once set, a listed frequency reads its level and
    // every other one the steady noise floor, with no fading or bursts, so a test knows
    // exactly where a scan must stop.
    void setFixedSignals(std::map<std::int64_t, double> levels) { fixed_ = std::move(levels); }
    bool hasFixedSignals() const { return fixed_.has_value(); }

    static constexpr double steadyFloorDbm = -120.0;

private:
    std::optional<double> stationOn(double frequencyMHz) const;
    double uniform(double low, double high);

    std::uint64_t seed_;
    std::mt19937_64 random_;
    double noiseFloor_ = -112.0;
    double fading_ = 0.0;
    int burstReadingsLeft_ = 0;
    double burstLevel_ = 0.0;
    std::optional<std::map<std::int64_t, double>> fixed_;
};

} // namespace rxdeck::sim
