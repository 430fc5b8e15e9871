// SPDX-License-Identifier: GPL-3.0-or-later
#include "fault_injector.h"

#include <array>

namespace rxdeck::sim {

namespace {

struct Distortion
{
    double Faults::*rate;
    std::string (FaultInjector::*apply)(std::string_view);
};

} // namespace

FaultInjector::FaultInjector(const Faults& faults, std::uint64_t seed)
    : faults_(faults), random_(seed)
{
}

std::vector<Transmission> FaultInjector::shape(std::string reply)
{
    if (faults_.silent || reply.empty()) {
        return {};
    }
    // Garbage first: a reply that was garbled is not also cut.
    const std::array distortions{Distortion{&Faults::garbageRate, &FaultInjector::garble},
                                 Distortion{&Faults::truncateRate, &FaultInjector::truncate}};
    for (const auto& distortion : distortions) {
        if (chance(faults_.*distortion.rate)) {
            reply = (this->*distortion.apply)(reply);
            break;
        }
    }

    const auto delay = faults_.delay + faults_.lag;
    if (faults_.delay.count() == 0 || reply.size() < 2 || !chance(0.5)) {
        return {Transmission{delay, std::move(reply)}};
    }
    // A slow receiver sometimes lets a reply straddle two reads of the port.
    const std::size_t cut = pick(1, reply.size() - 1);
    const auto secondDelay = delay + std::max(delay / 2, std::chrono::milliseconds(1));
    return {Transmission{delay, reply.substr(0, cut)},
            Transmission{secondDelay, reply.substr(cut)}};
}

std::string FaultInjector::garble(std::string_view reply)
{
    const std::size_t spread = reply.size() / 10;
    std::string noise(pick(reply.size() - spread, reply.size() + spread), '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& c : noise) {
        c = static_cast<char>(byte(random_));
    }
    return noise;
}

std::string FaultInjector::truncate(std::string_view reply)
{
    // Cut inside the text, so the line end is always lost.
    const std::size_t text = reply.size() > 2 ? reply.size() - 2 : reply.size();
    return std::string(reply.substr(0, pick(1, std::max<std::size_t>(text, 2) - 1)));
}

bool FaultInjector::chance(double rate)
{
    return rate > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

std::size_t FaultInjector::pick(std::size_t low, std::size_t high)
{
    return std::uniform_int_distribution<std::size_t>(low, high)(random_);
}

} // namespace rxdeck::sim
