// SPDX-License-Identifier: GPL-3.0-or-later
#include "command_line.h"

#include <algorithm>
#include <cctype>

namespace rxdeck::sim {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool isLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::vector<Command> parseCommands(std::string_view line)
{
    std::vector<Command> commands;
    while (!line.empty()) {
        const auto end = std::min(line.find(';'), line.size());
        const std::string_view piece = line.substr(0, end);
        line.remove_prefix(std::min(end + 1, line.size()));

        if (piece.size() < 3 || !std::all_of(piece.begin(), piece.begin() + 3, isLetter)) {
            continue;
        }
        Command command;
        command.mnemonic.assign(piece.substr(0, 3));
        std::transform(command.mnemonic.begin(), command.mnemonic.end(), command.mnemonic.begin(),
                       [](char c) { return static_cast<char>(std::toupper(c)); });
        command.argument = piece.substr(3);
        command.isQuery = trimBlanks(command.argument) == "?";
        commands.push_back(std::move(command));
    }
    return commands;
}

std::vector<std::string> LineAssembler::feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (const char c : bytes) {
        if (c == '\n') {
            if (!overflowed_) {
                lines.push_back(std::move(partial_));
            }
            partial_.clear();
            overflowed_ = false;
        } else if (c != '\r' && !overflowed_) {
            partial_.push_back(c);
            if (partial_.size() > maxLineLength) {
                partial_.clear();
                overflowed_ = true;
            }
        }
    }
    return lines;
}

void LineAssembler::clear()
{
    partial_.clear();
    overflowed_ = false;
}

} // namespace rxdeck::sim
