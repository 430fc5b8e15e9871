// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs the fuzz targets in fuzz/ found breaking a property, kept as tests.

#include "link/numbertext.h"
#include "status/replies.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace rxdeck;

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double largest = std::numeric_limits<double>::max();

std::string zeros(int count)
{
    return std::string(std::size_t(count), '0');
}

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

struct TextValue
{
    std::string text;
    double value;
};

void expectValues(const std::vector<TextValue>& cases)
{
    for (const TextValue& c : cases) {
        const double value = decimalValue(latin1(c.text));
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
        if (std::isfinite(c.value)) {
            ASSERT_TRUE(numberOfText(latin1(c.text)).has_value()) << c.text;
            EXPECT_EQ(*numberOfText(latin1(c.text)), c.value) << c.text;
        } else {
            EXPECT_FALSE(numberOfText(latin1(c.text)).has_value()) << c.text;
        }
    }
}

} // namespace

TEST(DecimalValueRange, ReadsNumbersAtTheEdgesOfTheDoubleRange)
{
    expectValues({
        {"0." + zeros(300) + "1", 1e-301},
        {"1" + zeros(300), 1e300},
        {"4.9e-324", std::numeric_limits<double>::denorm_min()},
        {"0." + zeros(323) + "494065645841247", std::numeric_limits<double>::denorm_min()},
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"1e400", infinity},
        {"-1e400", -infinity},
        {"1" + zeros(400), infinity},
        {"-1" + zeros(400), -infinity},
    });
}

// A number out of the double's range underflows to zero or overflows to infinity by
// the place of its first significant digit, whatever its notation: "0.000…0001" with 400
// zeros is 0, and "1" with 400 zeros and "e-1" is infinity.
TEST(DecimalValueRange, TellsUnderflowFromOverflowByMagnitude)
{
    expectValues({
        {"0." + zeros(400) + "1", 0.0},
        {"-0." + zeros(400) + "1", -0.0},
        {"." + zeros(400) + "1e5", 0.0},
        {"1" + zeros(400) + "e-1", infinity},
        {"-1" + zeros(400) + "e-5", -infinity},
    });
    EXPECT_EQ(integerOfText(latin1("0." + zeros(400) + "1")), std::int16_t{0});
}

namespace {

void expectRoundTrips(const std::vector<double>& values)
{
    for (const double d : values) {
        const QString text = frequencyText(d);
        const double back = decimalValue(text);
        EXPECT_LE(std::fabs(back - d), 1e-14 * std::fabs(d)) << text.toStdString();
        EXPECT_EQ(frequencyText(back).toStdString(), text.toStdString()) << d;
    }
}

} // namespace

TEST(FrequencyTextRange, ReadsBackAtTheEdgesOfTheDoubleRange)
{
    expectRoundTrips({std::numeric_limits<double>::denorm_min(), -1e-310,
                      std::numeric_limits<double>::min(), 1e308, -1.79769313486231e308,
                      1.7976931348623149e308});
}

// Rounded to 15 significant digits, the four largest doubles of each sign would pass the
// largest double and read back as infinity; they are written a step below instead.
TEST(FrequencyTextRange, ReadsBackNearTheLargestDouble)
{
    expectRoundTrips({largest, -largest, 1.7976931348623151e308});
}

namespace {

// The settings reply of the protocol's layout with the four dwell characters (68–71) replaced.
QString settingsWithDwell(const std::string& dwell)
{
    std::string reply = "RFP 1;AGC 1;RFG 100;FRA 07.000000;FRB 07.300000;SQL 100;BLK 05;"
                        "SDW 02.5;INC 10.000;PBT +1000;BFO -0500";
    reply.replace(67, 4, dwell);
    return latin1(reply);
}

} // namespace

TEST(SettingsDwell, LabelShowsTheSecondsTheSliderWasSetFrom)
{
    for (const std::string dwell : {"02.5", " 2.5", "2.5 ", "\t2.5", "0.7 ", "1.25", "20.0"}) {
        const replies::Settings s = replies::decodeSettings(settingsWithDwell(dwell));
        ASSERT_TRUE(s.dwellHalfSeconds.has_value()) << dwell;
        EXPECT_EQ(roundHalfEven(2 * decimalValue(s.dwellSeconds)), *s.dwellHalfSeconds) << dwell;
    }
}

// The dwell slider and its label read the same field: a field with a carriage return,
// form feed or other white space that the decimal value does not skip holds no number,
// so neither changes (once "\r2.5" set the slider to 2.5 s and the label to "0secs").
TEST(SettingsDwell, LabelAgreesWithSliderWhateverWhiteSpaceSurroundsTheNumber)
{
    for (const std::string dwell : {"\r2.5",
                                    "\x0b"
                                    "2.5",
                                    "\f2.5",
                                    "\x85"
                                    "2.5",
                                    "\xa0"
                                    "2.5"}) {
        const replies::Settings s = replies::decodeSettings(settingsWithDwell(dwell));
        EXPECT_EQ(s.dwellHalfSeconds.has_value(), !s.dwellSeconds.isEmpty()) << dwell;
        if (s.dwellHalfSeconds) {
            EXPECT_EQ(roundHalfEven(2 * decimalValue(s.dwellSeconds)), *s.dwellHalfSeconds)
                << s.dwellSeconds.toStdString();
        }
    }
}
