// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the simulator received, read back from its --log file ("<epoch seconds> <line>").

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace rxdeck::e2e {

using namespace std::chrono_literals;

inline constexpr std::string_view settingsQuery =
    "RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?";
inline constexpr std::string_view statusQuery = "FRQ?;DET?;SGV?;BWS?";

using Lines = std::vector<std::string>;

class TrafficLog
{
public:
    explicit TrafficLog(std::filesystem::path path) : path_(std::move(path)) {}

    // Every line received so far, in order, without timestamps.
    Lines lines() const;

    // The same with the time each was received, in seconds since the epoch.
    struct Timed
    {
        double at;
        std::string line;
    };
    std::vector<Timed> timedLines() const;

    // Polls the log until the condition holds for its lines; false if it never did in time.
    bool waitUntil(const std::function<bool(const Lines&)>& condition,
                   std::chrono::milliseconds timeout) const;

    // Waits until `line` has been received at index `from` or later.
    bool waitForLine(std::string_view line, std::size_t from,
                     std::chrono::milliseconds timeout = 2s) const;

    // Waits until `count` status queries have been received at index `from` or later: the
    // program's event loop has run that many poll ticks since.
    bool waitForPolls(std::size_t count, std::size_t from,
                      std::chrono::milliseconds timeout = 5s) const;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::size_t countOf(const Lines& lines, std::string_view line, std::size_t from = 0);

// The lines without the status queries that the poll interleaves with everything else.
Lines withoutStatusQueries(const Lines& lines);

// The forms a line to the receiver may take, one regular expression each, read from the file
// shared with bench/soak.sh.
class CommandForms
{
public:
    CommandForms();
    bool allows(const std::string& line) const;
    Lines malformed(const Lines& lines) const;

private:
    std::vector<std::regex> forms_;
};

} // namespace rxdeck::e2e
