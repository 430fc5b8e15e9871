// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/selectcommand.h"

#include <gtest/gtest.h>

namespace rxdeck::memories {
namespace {

TEST(SelectCommandLine, SendsTheCellTextVerbatimOnlyWithinTheReceiversRange)
{
    const std::vector<std::pair<const char*, std::optional<QByteArray>>> cases{
        {"30", "FRQ30\n"},
        {"30.001", std::nullopt},
        {"0.005", "FRQ0.005\n"},
        {"0.0049", std::nullopt},
        {"7 MHz net", "FRQ7 MHz net\n"}, // a note that starts with a frequency goes whole
        {"7.05 MHz", "FRQ7.05 MHz\n"},
        {" 7.05", "FRQ 7.05\n"}, // the blank counts for nothing but is sent
        {"3e1", "FRQ3e1\n"},
        {"", std::nullopt}, // the row for adding
        {"abc", std::nullopt},
        {"net 7 MHz", std::nullopt},
        {"-7", std::nullopt},
    };
    for (const auto& [cellText, line] : cases)
        EXPECT_EQ(selectCommandLine(QString::fromUtf8(cellText)), line) << "'" << cellText << "'";
}

} // namespace
} // namespace rxdeck::memories
