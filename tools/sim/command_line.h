// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rxdeck::sim {

// One command of a line: "FRQ14.2" sets, "FRQ?" asks.
struct Command
{
    std::string mnemonic;      // three letters, upper case
    std::string_view argument; // the text after the mnemonic, a view into the line
    bool isQuery = false;
};

// Splits one line into its ";"-separated commands. Pieces that do not start with three letters
// are dropped, as the receiver has no way to answer them.
std::vector<Command> parseCommands(std::string_view line);

// Collects received bytes into lines: a line feed ends a line, carriage returns are dropped.
class LineAssembler
{
public:
    // Appends bytes and returns the lines they completed, in order.
    std::vector<std::string> feed(std::string_view bytes);
    void clear();

private:
    // A line longer than this is noise; it is thrown away up to its line feed.
    static constexpr std::size_t maxLineLength = 4096;

    std::string partial_;
    bool overflowed_ = false;
};

} // namespace rxdeck::sim
