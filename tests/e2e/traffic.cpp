// SPDX-License-Identifier: GPL-3.0-or-later
#include "traffic.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace rxdeck::e2e {

std::vector<TrafficLog::Timed> TrafficLog::timedLines() const
{
    std::vector<Timed> lines;
    std::ifstream file(path_, std::ios::binary);
    for (std::string entry; std::getline(file, entry);) {
        // A received line may itself hold blanks: only the first one ends the timestamp.
        const auto blank = entry.find(' ');
        if (blank == std::string::npos)
            lines.push_back({0, {}});
        else
            lines.push_back({std::strtod(entry.c_str(), nullptr), entry.substr(blank + 1)});
    }
    return lines;
}

Lines TrafficLog::lines() const
{
    Lines lines;
    for (Timed& timed : timedLines())
        lines.push_back(std::move(timed.line));
    return lines;
}

bool TrafficLog::waitUntil(const std::function<bool(const Lines&)>& condition,
                           std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition(lines())) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(25ms);
    }
}

bool TrafficLog::waitForLine(std::string_view line, std::size_t from,
                             std::chrono::milliseconds timeout) const
{
    return waitUntil([&](const Lines& lines) { return countOf(lines, line, from) > 0; }, timeout);
}

bool TrafficLog::waitForPolls(std::size_t count, std::size_t from,
                              std::chrono::milliseconds timeout) const
{
    return waitUntil([&](const Lines& lines) { return countOf(lines, statusQuery, from) >= count; },
                     timeout);
}

std::size_t countOf(const Lines& lines, std::string_view line, std::size_t from)
{
    if (from >= lines.size()) {
        return 0;
    }
    return static_cast<std::size_t>(
        std::count(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), line));
}

Lines withoutStatusQueries(const Lines& lines)
{
    Lines kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept),
                 [](const std::string& line) { return line != statusQuery; });
    return kept;
}

CommandForms::CommandForms()
{
    std::ifstream file(RXDECK_E2E_COMMAND_FORMS);
    if (!file) {
        throw std::runtime_error("cannot read " RXDECK_E2E_COMMAND_FORMS);
    }
    for (std::string form; std::getline(file, form);) {
        if (!form.empty() && form.front() != '#') {
            forms_.emplace_back(form, std::regex::extended);
        }
    }
}

bool CommandForms::allows(const std::string& line) const
{
    return std::any_of(forms_.begin(), forms_.end(),
                       [&](const std::regex& form) { return std::regex_match(line, form); });
}

Lines CommandForms::malformed(const Lines& lines) const
{
    Lines bad;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(bad),
                 [this](const std::string& line) { return !allows(line); });
    return bad;
}

} // namespace rxdeck::e2e
