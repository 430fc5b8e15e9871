// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/numbertext.h"

#include <cmath>
#include <gtest/gtest.h>
#include <QLocale>

using namespace rxdeck;

struct DecimalCase
{
    const char* text;
    double value;
};

class DecimalValue : public ::testing::TestWithParam<DecimalCase>
{
};

TEST_P(DecimalValue, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(decimalValue(QString::fromUtf8(GetParam().text)), GetParam().value)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalValue,
    ::testing::Values(DecimalCase{"", 0}, DecimalCase{"abc", 0}, DecimalCase{" 14.200000", 14.2},
                      DecimalCase{"7.05 MHz", 7.05}, DecimalCase{"7 MHz net", 7},
                      DecimalCase{"-0.001", -0.001}, DecimalCase{"+5", 5},
                      DecimalCase{"1 4.2", 14.2}, DecimalCase{"\t7\n.1", 7.1},
                      DecimalCase{"1.2.3", 1.2}, DecimalCase{".5", 0.5}, DecimalCase{"5.", 5},
                      DecimalCase{"1e3", 1000}, DecimalCase{"1E-2x", 0.01}, DecimalCase{"2e", 2},
                      DecimalCase{"2e+", 2}, DecimalCase{"-", 0}, DecimalCase{"-.", 0},
                      DecimalCase{"7,05", 7}, DecimalCase{"--5", 0}, DecimalCase{"TempA", 0},
                      DecimalCase{"-100.5", -100.5}, DecimalCase{" -60", -60},
                      DecimalCase{"1e999", INFINITY}, DecimalCase{"1e-999", 0}));

TEST(DecimalValue, IgnoresTheRegionalDecimalComma)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_DOUBLE_EQ(decimalValue(u"7.05"), 7.05);
    EXPECT_EQ(frequencyText(7.05), QStringLiteral("7.05"));
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(saved);
}

struct IntegerCase
{
    const char* text;
    std::optional<int> value;
};

class IntegerOfText : public ::testing::TestWithParam<IntegerCase>
{
};

TEST_P(IntegerOfText, RoundsHalfToEvenOrRefuses)
{
    const auto value = integerOfText(QString::fromUtf8(GetParam().text));
    ASSERT_EQ(value.has_value(), GetParam().value.has_value()) << GetParam().text;
    if (value) {
        EXPECT_EQ(*value, *GetParam().value) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, IntegerOfText,
                         ::testing::Values(IntegerCase{"2.5", 2}, IntegerCase{"3.5", 4},
                                           IntegerCase{"-2.5", -2}, IntegerCase{"2.51", 3},
                                           IntegerCase{"100", 100}, IntegerCase{" 100 ", 100},
                                           IntegerCase{"+1000", 1000}, IntegerCase{"-0500", -500},
                                           IntegerCase{"05", 5}, IntegerCase{"", {}},
                                           IntegerCase{"   ", {}}, IntegerCase{"1O0", {}},
                                           IntegerCase{"10kHz", {}}, IntegerCase{"32767", 32767},
                                           IntegerCase{"32768", {}}, IntegerCase{"-32768", -32768},
                                           IntegerCase{"-32769", {}}, IntegerCase{"1e2", 100},
                                           IntegerCase{"- 5", {}}, IntegerCase{".", {}}));

struct FrequencyCase
{
    double value;
    const char* text;
};

class FrequencyText : public ::testing::TestWithParam<FrequencyCase>
{
};

TEST_P(FrequencyText, WritesPlainShortestDecimal)
{
    EXPECT_EQ(frequencyText(GetParam().value), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Values, FrequencyText,
    ::testing::Values(FrequencyCase{14.2 + 0.009, "14.209"},
                      FrequencyCase{14.2 - 0.00001, "14.19999"},
                      FrequencyCase{14.2 + 0.001, "14.201"}, FrequencyCase{7.0 + 0.1, "7.1"},
                      FrequencyCase{0.0 - 0.001, "-0.001"}, FrequencyCase{0, "0"},
                      FrequencyCase{-0.0, "0"}, FrequencyCase{20, "20"}, FrequencyCase{0.5, "0.5"},
                      FrequencyCase{1.5, "1.5"}, FrequencyCase{30, "30"},
                      FrequencyCase{0.00001, "0.00001"}, FrequencyCase{1e-9, "0.000000001"},
                      FrequencyCase{1e20, "100000000000000000000"},
                      FrequencyCase{123456789.123456789, "123456789.123457"},
                      FrequencyCase{-7.123556, "-7.123556"}));

TEST(FrequencyText, StepsHeldForLongDoNotDrift)
{
    // Each step starts again from the text, so a long hold lands on exact values.
    QString text = QStringLiteral(" 14.200000");
    for (int i = 0; i < 1000; ++i)
        text = frequencyText(decimalValue(text) + 0.00001);
    EXPECT_EQ(text, QStringLiteral("14.21"));
    for (int i = 0; i < 1000; ++i)
        text = frequencyText(decimalValue(text) - 0.009);
    EXPECT_EQ(text, QStringLiteral("5.21"));
}

// A typed frequency goes out only as digits with one "." from 0.005 to 30 MHz; anything
// else is refused with the hint the mistake calls for.
TEST(TypedFrequencyProblem, AcceptsMegahertzAndNamesTheMistake)
{
    struct Case
    {
        const char* typed;
        const char* hint; // nullptr: accepted
    };
    const Case cases[] = {
        {"14.2", nullptr},     {"0.005", nullptr},        {"30", nullptr},
        {"7.", nullptr},       {".5", nullptr},           {"14,2", "14.2"},
        {"14200", "14.2 MHz"}, {"30.001", "0.005 to 30"}, {"0.004", "0.005"},
        {"", "Type a"},        {"   ", "Type a"},         {"abc", "not a frequency"},
        {"-7", "not a"},       {" 7.1", "not a"},         {"1.2.3", "not a"},
        {"7e1", "not a"},      {"35", "0.005 to 30"},
    };
    for (const Case& c : cases) {
        const auto problem = typedFrequencyProblem(QString::fromLatin1(c.typed));
        if (!c.hint) {
            EXPECT_FALSE(problem) << c.typed << ": " << problem->toStdString();
            continue;
        }
        ASSERT_TRUE(problem) << c.typed;
        EXPECT_TRUE(problem->contains(QLatin1StringView(c.hint))) << problem->toStdString();
    }
}
