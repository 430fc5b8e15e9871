// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replies.h"

#include "link/numbertext.h"

#include <gtest/gtest.h>

using namespace rxdeck;
using namespace rxdeck::replies;

namespace {

// The receiver's settings reply: each field its mnemonic, a blank and the value.
const QString settings = QStringLiteral("RFP 2;AGC 1;RFG 100;FRA 07.000000;FRB 07.300000;SQL 100;"
                                        "BLK 05;SDW 02.5;INC 10.000;PBT +1000;BFO -0500");

} // namespace

TEST(SettingsReply, FieldsSitAtTheirPositions)
{
    ASSERT_EQ(settings.size(), 102);
    const Settings s = decodeSettings(settings);
    EXPECT_EQ(s.rfPath, QChar(u'2'));
    EXPECT_EQ(s.agc, QChar(u'1'));
    EXPECT_EQ(s.lowLimit, QStringLiteral("07.000000"));
    EXPECT_EQ(s.highLimit, QStringLiteral("07.300000"));
    EXPECT_EQ(s.squelch, 100);
    EXPECT_EQ(s.blanker, 5);
    EXPECT_EQ(s.dwellHalfSeconds, 5);
    EXPECT_EQ(s.dwellSeconds, QStringLiteral("2.5"));
    EXPECT_EQ(s.step, 10);
    EXPECT_EQ(s.passband, 1000);
    EXPECT_EQ(s.bfo, -500);
}

TEST(SettingsReply, AShortReplyLeavesTheLaterFieldsEmpty)
{
    const Settings s = decodeSettings(settings.left(60));
    EXPECT_EQ(s.squelch, 100);
    EXPECT_FALSE(s.blanker);
    EXPECT_FALSE(s.dwellHalfSeconds);
    EXPECT_FALSE(s.step);
    EXPECT_FALSE(s.passband);
    EXPECT_FALSE(s.bfo);
    const Settings empty = decodeSettings(u"");
    EXPECT_TRUE(empty.rfPath.isNull());
    EXPECT_TRUE(empty.lowLimit.isEmpty());
}

TEST(SettingsReply, DwellRoundsHalfSecondsToEven)
{
    struct Case
    {
        const char* dwell;
        int half;
        const char* shown;
    };
    for (const Case c : {Case{"00.7", 1, "0.7"}, Case{"1.25", 2, "1.25"}, Case{"1.75", 4, "1.75"},
                         Case{"20.0", 40, "20"}, Case{" 2.5", 5, "2.5"}}) {
        QString reply = settings;
        reply.replace(67, 4, QString::fromLatin1(c.dwell));
        const Settings s = decodeSettings(reply);
        ASSERT_TRUE(s.dwellHalfSeconds) << c.dwell;
        EXPECT_EQ(*s.dwellHalfSeconds, c.half) << c.dwell;
        EXPECT_EQ(s.dwellSeconds, QString::fromLatin1(c.shown)) << c.dwell;
    }
}

TEST(StatusReply, FieldsAndDisplayText)
{
    const Status s = decodeStatus(u"FRQ 07.123456;DET 4;SGV  -60.0;BWS 2\r\n");
    EXPECT_EQ(s.frequency, QStringLiteral(" 07.123456"));
    EXPECT_EQ(s.mode, QChar(u'4'));
    EXPECT_EQ(s.signal, QStringLiteral(" -60"));
    EXPECT_EQ(s.bandwidth, QChar(u'2'));
    EXPECT_EQ(groupedFrequency(s.frequency), QStringLiteral(" 07.123.456"));
    EXPECT_EQ(groupedFrequency(QString()), QStringLiteral("."));

    const Status shortReply = decodeStatus(u"FRQ 14.2");
    EXPECT_EQ(shortReply.frequency, QStringLiteral(" 14.2"));
    EXPECT_TRUE(shortReply.mode.isNull());
    EXPECT_TRUE(shortReply.signal.isEmpty());
}

TEST(SMeter, LightsStrictlyAboveEachThreshold)
{
    struct Case
    {
        const char* signal;
        int lit;
    };
    const Case cases[] = {{"-120", 0}, {"-114", 0},  {"-113", 1}, {"-111", 1}, {"-110", 2},
                          {"-100", 5}, {"-90", 8},   {"-89", 9},  {"-80", 9},  {"-79", 10},
                          {"-70", 10}, {" -60", 11}, {"-59", 12}, {"", 12},    {"S9", 12}};
    for (const Case& c : cases) {
        const auto lamps = sMeter(decimalValue(QString::fromLatin1(c.signal)));
        int lit = 0;
        while (lit < sMeterSteps && lamps[std::size_t(lit)])
            ++lit;
        EXPECT_EQ(lit, c.lit) << c.signal;
        for (int i = lit; i < sMeterSteps; ++i)
            EXPECT_FALSE(lamps[std::size_t(i)]) << c.signal << " lamp " << i; // a bar, no gaps
    }
}

TEST(LampDigits, OnlyTheListedDigitsChooseALamp)
{
    EXPECT_EQ(modeIndex(u'1'), 0);
    EXPECT_EQ(modeIndex(u'6'), 5);
    EXPECT_FALSE(modeIndex(u'0'));
    EXPECT_FALSE(modeIndex(u'7'));
    EXPECT_EQ(bandwidthIndex(u'5'), 4);
    EXPECT_FALSE(bandwidthIndex(u'6'));
    EXPECT_EQ(rfPathIndex(u'3'), 2);
    EXPECT_FALSE(rfPathIndex(u'4'));
    EXPECT_EQ(agcText(u'0'), QStringLiteral("Manual"));
    EXPECT_EQ(agcText(u'2'), QStringLiteral("Fast"));
    EXPECT_FALSE(agcText(u'3'));
    EXPECT_FALSE(modeIndex(QChar()));
}
