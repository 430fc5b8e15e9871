// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace rxdeck::sim {

namespace {

// A well-mixed hash, so neighbouring channels get unrelated stations.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Level change in dB for RF path 1 (normal), 2 (attenuated) and 3 (preamplified).
constexpr std::array pathGainDb{0.0, -20.0, 10.0};

} // namespace

SignalModel::SignalModel(std::uint64_t seed) : seed_(seed), random_(seed) {}

double SignalModel::read(double frequencyMHz, int rfPath)
{
    if (fixed_) {
        const auto found = fixed_->find(std::llround(frequencyMHz * 1e6));
        return found == fixed_->end() ? steadyFloorDbm : found->second;
    }
    noiseFloor_ = std::clamp(noiseFloor_ + uniform(-0.8, 0.8), -121.0, -104.0);
    fading_ = 0.85 * fading_ + std::normal_distribution<double>(0.0, 2.0)(random_);

    if (burstReadingsLeft_ > 0) {
        --burstReadingsLeft_;
    } else if (uniform(0.0, 1.0) < 0.01) {
        burstReadingsLeft_ = std::uniform_int_distribution<int>(20, 80)(random_);
        burstLevel_ = uniform(-95.0, -50.0);
    }

    double level = noiseFloor_;
    if (const auto station = stationOn(frequencyMHz)) {
        level = std::max(level, *station + fading_);
    }
    if (burstReadingsLeft_ > 0) {
        level = std::max(level, burstLevel_ + fading_);
    }
    const auto path = static_cast<std::size_t>(std::clamp(rfPath, 1, 3) - 1);
    level = std::clamp(level + pathGainDb[path], floorDbm, ceilingDbm);
    return std::round(level * 10.0) / 10.0;
}

std::optional<double> SignalModel::stationOn(double frequencyMHz) const
{
    const auto channel = static_cast<std::uint64_t>(std::llround(frequencyMHz * 200.0));
    const std::uint64_t h = mix(channel ^ mix(seed_));
    if (h % 100 >= 15) {
        return std::nullopt;
    }
    return -100.0 + static_cast<double>((h >> 16) % 55);
}

double SignalModel::uniform(double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random_);
}

} // namespace rxdeck::sim
