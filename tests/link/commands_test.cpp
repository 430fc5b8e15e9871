// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/commands.h"

#include <gtest/gtest.h>

using namespace rxdeck;

struct LineCase
{
    QByteArray line;
    const char* expected;
};

class CommandLines : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(CommandLines, AreExactAndEndWithOneLineFeed)
{
    EXPECT_EQ(GetParam().line, QByteArray(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLines,
    ::testing::Values(
        LineCase{commands::settingsQuery(),
                 "RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?\n"},
        LineCase{commands::statusQuery(), "FRQ?;DET?;SGV?;BWS?\n"},
        LineCase{commands::rfPath(2), "RFP2\n"}, LineCase{commands::agc(1), "AGC1\n"},
        LineCase{commands::manualGain(100), "AGC0;RFG100\n"},
        LineCase{commands::manualGain(0), "AGC0;RFG0\n"},
        LineCase{commands::detection(4), "DET4\n"}, LineCase{commands::bandwidth(1), "BWS1\n"},
        LineCase{commands::passband(-2000), "PBT-2000\n"},
        LineCase{commands::passband(2000), "PBT2000\n"}, LineCase{commands::bfo(0), "BFO0\n"},
        LineCase{commands::blanker(10), "BLK10\n"}, LineCase{commands::squelch(100), "SQL100\n"},
        LineCase{commands::dwell(1), "SDW0.5\n"}, LineCase{commands::dwell(3), "SDW1.5\n"},
        LineCase{commands::dwell(40), "SDW20\n"}, LineCase{commands::step(5), "inc5\n"},
        LineCase{commands::frequency(QStringLiteral("7.000")), "FRQ7.000\n"},
        LineCase{commands::frequency(QStringLiteral(" 07.1234")), "FRQ 07.1234\n"},
        LineCase{commands::frequency(QStringLiteral("TempA")), "FRQTempA\n"},
        LineCase{commands::scanStart(QStringLiteral("30"), QStringLiteral("0.5")),
                 "FRA0;FRB30;FRA0.5;SCF2;OPR1\n"},
        LineCase{commands::scanStart(QString(), QString()), "FRA0;FRB;FRA;SCF2;OPR1\n"},
        LineCase{commands::scanStop(), "OPR0\n"}));

TEST(CommandLines, NeverCarryControlCharactersOrNonAscii)
{
    // A limit box filled from a garbled reply may hold a carriage return or line feed.
    EXPECT_EQ(commands::scanStart(QStringLiteral("07.3\r\n0000"), QStringLiteral("07.0")),
              QByteArray("FRA0;FRB07.30000;FRA07.0;SCF2;OPR1\n"));
    EXPECT_EQ(commands::frequency(QStringLiteral("7,05µ")), QByteArray("FRQ7,05?\n"));
}
