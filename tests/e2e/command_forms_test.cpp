// SPDX-License-Identifier: GPL-3.0-or-later
// The list of command forms is the oracle of every e2e check and of bench/soak.sh: it must let
// each line the program may send through, and stop the near misses.
#include "traffic.h"

#include <gtest/gtest.h>

namespace rxdeck::e2e {
namespace {

// clang-format off
constexpr const char* allowed[] = {
    "RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?", "FRQ?;DET?;SGV?;BWS?",
    "RFP1", "RFP3", "AGC1", "AGC2", "AGC0;RFG0", "AGC0;RFG127", "AGC0;RFG105",
    "DET1", "DET6", "BWS1", "BWS5",
    "FRQ14.201", "FRQ 07.1234", "FRQTempA", "FRQ", "FRQ-0.001",
    "PBT0", "PBT-2000", "PBT2000", "PBT100", "BFO0", "BFO-8000", "BFO8000", "BFO50",
    "BLK0", "BLK10", "SQL0", "SQL100", "SQL136",
    "SDW0.5", "SDW1", "SDW1.5", "SDW19.5", "SDW20", "inc1", "inc25",
    "FRA0;FRB7.300000;FRA7.000000;SCF2;OPR1", "FRA0;FRB;FRA;SCF2;OPR1", "OPR0",
};

constexpr const char* rejected[] = {
    "", "RFP0", "RFP4", "AGC0", "AGC3", "AGC0;RFG128", "AGC0;RFG-1", "AGC0;RFG05",
    "DET0", "DET7", "BWS6", "FRQ14.2\r", "FRQ14\x01",
    "PBT+100", "PBT2001", "PBT-0", "PBT007", "BFO8001", "BFO+50",
    "BLK11", "SQL137", "SQL-1", "SQL08", "sql100", "SQL100 ",
    "SDW0", "SDW2.0", "SDW20.5", "SDW0.25", "inc0", "inc26", "INC5",
    "OPR1", "FRA0;FRB7.2;FRA7.1;SCF2", "DET1;DET2",
};
// clang-format on

TEST(CommandForms, AllowEveryLineOfTheCommandTable)
{
    const CommandForms forms;
    for (const std::string line : allowed) {
        EXPECT_TRUE(forms.allows(line)) << line;
    }
}

TEST(CommandForms, RejectNearMisses)
{
    const CommandForms forms;
    for (const std::string line : rejected) {
        EXPECT_FALSE(forms.allows(line)) << line;
    }
}

} // namespace
} // namespace rxdeck::e2e
