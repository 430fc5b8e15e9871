// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signal_model.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rxdeck::sim {

using Clock = std::chrono::steady_clock;

// Everything the receiver remembers. Whole-number settings are kept as doubles too, so one
// table can range-check, store and format every parameter alike.
struct ReceiverState
{
    double frequencyMHz = 14.2;
    double mode = 4;      // 1 AM, 2 FM, 3 CW, 4 USB, 5 LSB, 6 ISB
    double bandwidth = 3; // 1 300 Hz, 2 1 kHz, 3 3.2 kHz, 4 6 kHz, 5 16 kHz
    double agc = 1;       // 0 manual gain, 1 slow, 2 fast
    double gain = 100;
    double rfPath = 1; // 1 normal, 2 attenuated, 3 preamplified
    double squelch = 0;
    double blanker = 0;
    double dwellSeconds = 2.5;
    double stepKHz = 5;
    double passbandHz = 0;
    double bfoHz = 0;
    double scanLowMHz = 7.0;
    double scanHighMHz = 7.3;
    double scanFunction = 0;
    double scanning = 0;
};

struct Parameter;

// The receiver's command interpreter and scanner. It knows nothing of ports or time sources:
// callers hand it lines and the current time.
class Receiver
{
public:
    explicit Receiver(std::uint64_t seed);

    // Applies every command of one line and returns the answer to its queries, ended with CR LF,
    // or an empty string when the line asked nothing.
    std::string handleLine(std::string_view line, Clock::time_point now);

    // Steps the scan on if its dwell time has run out.
    void advance(Clock::time_point now);

    // When advance() next has something to do.
    std::optional<Clock::time_point> nextEvent() const { return nextScanStep_; }

    const ReceiverState& state() const { return state_; }

    SignalModel& signalModel() { return signal_; }
    // How long the signal reads the floor after a frequency change.
    void setSettle(Clock::duration settle) { settle_ = settle; }

private:
    void set(const Parameter& parameter, std::string_view argument, Clock::time_point now);
    double valueOf(const Parameter& parameter, Clock::time_point now);
    void startScan(Clock::time_point now);
    void stepScan();
    Clock::duration dwell() const;

    ReceiverState state_;
    SignalModel signal_;
    std::optional<Clock::time_point> nextScanStep_;
    Clock::duration settle_{};
    Clock::time_point tunedAt_{};
};

} // namespace rxdeck::sim
