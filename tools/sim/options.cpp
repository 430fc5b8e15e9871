// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include "number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace rxdeck::sim {

namespace {

using std::chrono::milliseconds;

std::optional<double> nonNegative(std::string_view text)
{
    const auto value = parseDecimal(text);
    return value && *value >= 0.0 ? value : std::nullopt;
}

std::optional<milliseconds> duration(std::string_view text, double unitMs)
{
    const auto value = nonNegative(text);
    if (!value) {
        return std::nullopt;
    }
    return milliseconds(std::llround(*value * unitMs));
}

std::optional<double> rate(std::string_view text)
{
    const auto value = nonNegative(text);
    return value && *value <= 1.0 ? value : std::nullopt;
}

// Stores an optional result into its destination; false when the text did not parse.
template <typename T, typename U> bool store(std::optional<T> value, U& destination)
{
    if (value) {
        destination = *value;
    }
    return value.has_value();
}

struct OptionSpec
{
    std::string_view name;
    std::string_view valueName; // empty for a switch without a value
    std::string_view help;
    bool (*apply)(Options&, std::string_view);
};

constexpr std::array optionTable{
    OptionSpec{"--link", "PATH",
               "also make PATH a symlink to the device (an existing symlink is replaced)",
               [](Options& o, std::string_view v) {
                   o.link = std::filesystem::path(v);
                   return !v.empty();
               }},
    OptionSpec{"--log", "FILE",
               "append each received line to FILE as '<epoch seconds.micros> <line>'",
               [](Options& o, std::string_view v) {
                   o.log = std::filesystem::path(v);
                   return !v.empty();
               }},
    OptionSpec{"--log-replies", "",
               "also log every write sent, as '<epoch seconds.micros> > <escaped bytes>'",
               [](Options& o, std::string_view) { return o.logReplies = true; }},
    OptionSpec{"--seed", "N", "seed the signal model and the faults, for repeatable runs",
               [](Options& o, std::string_view v) {
                   std::uint64_t seed = 0;
                   const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), seed);
                   o.seed = seed;
                   return error == std::errc{} && end == v.data() + v.size();
               }},
    OptionSpec{"--baud", "N",
               "pace replies like a line at N baud, 10 bits a character (default 9600; 0 "
               "sends them at once)",
               [](Options& o, std::string_view v) {
                   unsigned baud = 0;
                   const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), baud);
                   o.baud = baud;
                   return error == std::errc{} && end == v.data() + v.size();
               }},
    OptionSpec{"--signal-at", "MHZ=DBM",
               "a steady signal of DBM on MHZ (repeatable); every other frequency reads the "
               "noise floor, -120 dBm",
               [](Options& o, std::string_view v) {
                   const auto signal = parseSignalAt(v);
                   if (signal) {
                       o.signalsAt.push_back(*signal);
                   }
                   return signal.has_value();
               }},
    OptionSpec{"--signals", "FILE",
               "MHZ=DBM lines as for --signal-at, read again whenever FILE changes; they "
               "replace the signals given before",
               [](Options& o, std::string_view v) {
                   o.signalFile = std::filesystem::path(v);
                   return !v.empty();
               }},
    OptionSpec{"--settle", "MS",
               "after a frequency change the signal reads the floor for MS milliseconds",
               [](Options& o, std::string_view v) { return store(duration(v, 1.0), o.settle); }},
    OptionSpec{"--silent", "", "apply commands but never answer",
               [](Options& o, std::string_view) { return o.faults.silent = true; }},
    OptionSpec{"--garbage", "RATE", "replace a reply by random bytes with probability RATE (0..1)",
               [](Options& o, std::string_view v) { return store(rate(v), o.faults.garbageRate); }},
    OptionSpec{
        "--truncate", "RATE", "cut a reply short with probability RATE (0..1)",
        [](Options& o, std::string_view v) { return store(rate(v), o.faults.truncateRate); }},
    OptionSpec{
        "--delay", "MS", "send replies MS milliseconds late, sometimes in two writes",
        [](Options& o, std::string_view v) { return store(duration(v, 1.0), o.faults.delay); }},
    OptionSpec{
        "--lag", "MS", "send every reply MS milliseconds late, always whole",
        [](Options& o, std::string_view v) { return store(duration(v, 1.0), o.faults.lag); }},
    OptionSpec{"--stale-reply", "",
               "have a status reply waiting on the line at start and after each return, as if "
               "a program that went away had asked",
               [](Options& o, std::string_view) { return o.faults.staleReply = true; }},
    OptionSpec{"--run-together", "", "send a status reply in the same write as each settings reply",
               [](Options& o, std::string_view) { return o.faults.runTogether = true; }},
    OptionSpec{
        "--hangup-after", "SECONDS",
        "after SECONDS, close the line and remove the device (unplugged adapter)",
        [](Options& o, std::string_view v) { return store(duration(v, 1000.0), o.hangupAfter); }},
    OptionSpec{
        "--return-after", "SECONDS",
        "SECONDS after a hang-up, create a new device, re-point --link, print its path",
        [](Options& o, std::string_view v) { return store(duration(v, 1000.0), o.returnAfter); }},
    OptionSpec{"--help", "", "show this text",
               [](Options& o, std::string_view) { return o.help = true; }},
    OptionSpec{"--version", "", "show the version",
               [](Options& o, std::string_view) { return o.version = true; }},
};

} // namespace

std::optional<std::pair<std::int64_t, double>> parseSignalAt(std::string_view text)
{
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    const auto mhz = nonNegative(text.substr(0, equals));
    const auto dbm = parseDecimal(text.substr(equals + 1));
    if (!mhz || !dbm || *mhz > 30.0) {
        return std::nullopt;
    }
    return std::pair{std::llround(*mhz * 1e6), *dbm};
}

ParsedOptions parseOptions(std::span<const char* const> arguments)
{
    ParsedOptions parsed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        std::optional<std::string_view> value;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
        }
        const auto* option = std::find_if(optionTable.begin(), optionTable.end(),
                                          [&](const OptionSpec& s) { return s.name == argument; });
        if (option == optionTable.end()) {
            parsed.error = "unknown option " + std::string(arguments[i]);
            return parsed;
        }
        if (!option->valueName.empty() && !value) {
            if (i + 1 == arguments.size()) {
                parsed.error = std::string(argument) + " needs a value";
                return parsed;
            }
            value = arguments[++i];
        }
        if (option->valueName.empty() && value) {
            parsed.error = std::string(argument) + " takes no value";
            return parsed;
        }
        if (!option->apply(parsed.options, value.value_or(""))) {
            parsed.error =
                "bad value for " + std::string(argument) + ": " + std::string(value.value_or(""));
            return parsed;
        }
    }
    if (parsed.options.returnAfter && !parsed.options.hangupAfter) {
        parsed.error = "--return-after needs --hangup-after";
    }
    return parsed;
}

std::string usage()
{
    std::string text = "Usage: rxdeck-sim [OPTION]...\n"
                       "Simulates a WJ-8712 HF receiver on a pseudo-terminal. The device path is\n"
                       "printed as the first line on stdout. Ends on SIGINT or SIGTERM.\n\n";
    for (const auto& option : optionTable) {
        std::string left = "  " + std::string(option.name);
        if (!option.valueName.empty()) {
            left += " " + std::string(option.valueName);
        }
        left.resize(std::max<std::size_t>(left.size() + 2, 26), ' ');
        text += left + std::string(option.help) + "\n";
    }
    return text;
}

} // namespace rxdeck::sim
