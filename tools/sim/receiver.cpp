// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver.h"

#include "command_line.h"
#include "number_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace rxdeck::sim {

namespace {

enum class Effect
{
    None,
    ScanControl, // 1 starts a scan from the lower limit, 0 stops it
};

// What the receiver does with a value between two steps of a parameter's resolution.
enum class OffGrid
{
    Refuse,
    Round, // frequencies: tuned to the nearest hertz
};

constexpr double hz = 1e-6; // one hertz in megahertz
constexpr double lowestTunableMHz = 0.005;

std::int64_t toHz(double megahertz)
{
    return std::llround(megahertz / hz);
}

} // namespace

// One receiver parameter: the values it accepts and how a reply shows it. The reply widths are
// fixed so that every field of a multi-query reply lands at the same column each time.
struct Parameter
{
    std::string_view mnemonic;
    double min;
    double max;
    double resolution;
    OffGrid offGrid;
    const char* replyFormat;
    double ReceiverState::*field; // nullptr for a measurement that cannot be set
    Effect effect = Effect::None;
};

namespace {

using S = ReceiverState;

constexpr std::array parameters{
    Parameter{"FRQ", lowestTunableMHz, 30.0, hz, OffGrid::Round, "%09.6f", &S::frequencyMHz},
    Parameter{"DET", 1, 6, 1, OffGrid::Refuse, "%.0f", &S::mode},
    Parameter{"BWS", 1, 5, 1, OffGrid::Refuse, "%.0f", &S::bandwidth},
    Parameter{"AGC", 0, 2, 1, OffGrid::Refuse, "%.0f", &S::agc},
    Parameter{"RFG", 0, 127, 1, OffGrid::Refuse, "%03.0f", &S::gain},
    Parameter{"RFP", 1, 3, 1, OffGrid::Refuse, "%.0f", &S::rfPath},
    Parameter{"SQL", 0, 136, 1, OffGrid::Refuse, "%03.0f", &S::squelch},
    Parameter{"BLK", 0, 10, 1, OffGrid::Refuse, "%02.0f", &S::blanker},
    Parameter{"SDW", 0.5, 20, 0.5, OffGrid::Refuse, "%04.1f", &S::dwellSeconds},
    Parameter{"INC", 1, 25, 1, OffGrid::Refuse, "%06.3f", &S::stepKHz},
    Parameter{"PBT", -2000, 2000, 1, OffGrid::Refuse, "%+05.0f", &S::passbandHz},
    Parameter{"BFO", -8000, 8000, 1, OffGrid::Refuse, "%+05.0f", &S::bfoHz},
    Parameter{"FRA", 0, 30, hz, OffGrid::Round, "%09.6f", &S::scanLowMHz},
    Parameter{"FRB", 0, 30, hz, OffGrid::Round, "%09.6f", &S::scanHighMHz},
    Parameter{"SCF", 0, 9, 1, OffGrid::Refuse, "%.0f", &S::scanFunction},
    Parameter{"OPR", 0, 1, 1, OffGrid::Refuse, "%.0f", &S::scanning, Effect::ScanControl},
    Parameter{"SGV", SignalModel::floorDbm, SignalModel::ceilingDbm, 0.1, OffGrid::Refuse, "%6.1f",
              nullptr},
};

const Parameter* findParameter(std::string_view mnemonic)
{
    const auto* found = std::find_if(parameters.begin(), parameters.end(),
                                     [&](const Parameter& p) { return p.mnemonic == mnemonic; });
    return found == parameters.end() ? nullptr : found;
}

// The value snapped onto the parameter's grid, or nothing when the receiver refuses it.
std::optional<double> acceptable(const Parameter& parameter, double value)
{
    const double steps = value / parameter.resolution;
    if (parameter.offGrid == OffGrid::Refuse && std::abs(steps - std::round(steps)) > 1e-6) {
        return std::nullopt;
    }
    const double snapped = std::round(steps) * parameter.resolution;
    if (snapped < parameter.min || snapped > parameter.max) {
        return std::nullopt;
    }
    return snapped;
}

std::string formatValue(const Parameter& parameter, double value)
{
    // Adding 0.0 turns a "-0" into 0, which would otherwise be shown with a minus sign.
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), parameter.replyFormat, value + 0.0);
    return text.data();
}

} // namespace

Receiver::Receiver(std::uint64_t seed) : signal_(seed) {}

std::string Receiver::handleLine(std::string_view line, Clock::time_point now)
{
    std::string reply;
    for (const Command& command : parseCommands(line)) {
        const Parameter* parameter = findParameter(command.mnemonic);
        if (parameter == nullptr) {
            continue;
        }
        if (!command.isQuery) {
            set(*parameter, command.argument, now);
            continue;
        }
        if (!reply.empty()) {
            reply += ';';
        }
        reply += parameter->mnemonic;
        reply += ' ';
        reply += formatValue(*parameter, valueOf(*parameter, now));
    }
    if (!reply.empty()) {
        reply += "\r\n";
    }
    return reply;
}

void Receiver::set(const Parameter& parameter, std::string_view argument, Clock::time_point now)
{
    if (parameter.field == nullptr) {
        return;
    }
    const auto number = parseDecimal(argument);
    const auto value = number ? acceptable(parameter, *number) : std::nullopt;
    if (!value) {
        return; // the receiver refuses it and keeps its setting
    }
    if (parameter.field == &ReceiverState::frequencyMHz && *value != state_.frequencyMHz) {
        tunedAt_ = now;
    }
    state_.*parameter.field = *value;

    if (parameter.effect == Effect::ScanControl) {
        if (*value != 0) {
            startScan(now);
        } else {
            nextScanStep_.reset();
        }
    }
}

double Receiver::valueOf(const Parameter& parameter, Clock::time_point now)
{
    if (parameter.field != nullptr) {
        return state_.*parameter.field;
    }
    if (settle_ > Clock::duration::zero() && now - tunedAt_ < settle_) {
        return SignalModel::steadyFloorDbm;
    }
    return signal_.read(state_.frequencyMHz, static_cast<int>(state_.rfPath));
}

void Receiver::advance(Clock::time_point now)
{
    // A late wake-up catches up with every step it missed, keeping the dwell rhythm.
    while (nextScanStep_ && *nextScanStep_ <= now) {
        stepScan();
        *nextScanStep_ += dwell();
    }
}

Clock::duration Receiver::dwell() const
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(state_.dwellSeconds));
}

namespace {

// The scan runs between the lower and the higher of the two limits, whichever order they were
// set in, and never below the lowest tunable frequency.
std::pair<std::int64_t, std::int64_t> scanRangeHz(const ReceiverState& state)
{
    const std::int64_t lowestTunable = toHz(lowestTunableMHz);
    const std::int64_t a = toHz(state.scanLowMHz);
    const std::int64_t b = toHz(state.scanHighMHz);
    const std::int64_t low = std::min(a, b);
    const std::int64_t high = std::max(a, b);
    return {std::max(low, lowestTunable), std::max(high, lowestTunable)};
}

} // namespace

void Receiver::startScan(Clock::time_point now)
{
    state_.frequencyMHz = static_cast<double>(scanRangeHz(state_).first) * hz;
    nextScanStep_ = now + dwell();
}

void Receiver::stepScan()
{
    const auto [low, high] = scanRangeHz(state_);
    std::int64_t next = toHz(state_.frequencyMHz) + std::llround(state_.stepKHz * 1000.0);
    if (next > high || next < low) {
        next = low;
    }
    state_.frequencyMHz = static_cast<double>(next) * hz;
}

} // namespace rxdeck::sim
