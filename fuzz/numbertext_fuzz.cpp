// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the number texts and the command lines. The input is read as Latin-1
// text, as a double (its first eight bytes), as UTF-16 text and as a source of integers.
// Besides the sanitizers, these properties must hold:
//
//  - decimalValue agrees with the C library's strtod wherever both read the same grammar,
//    ignores blanks, tabs and line feeds wherever they stand, and is never NaN;
//  - numberOfText and decimalValue agree on a text that is one number; integerOfText is
//    numberOfText rounded half to even, and refuses exactly what does not fit 16 bits;
//  - for a finite double d, frequencyText(d) is plain decimal (no exponent, no trailing point
//    or zero after the point, no "-0", at most 15 significant digits), reads back within 1e-14
//    relative of d, and is written again unchanged from what it reads back as;
//  - sums of six-decimal texts come out exact;
//  - every command line ends with its only line feed, holds no other control character, is
//    ASCII, and carries printable ASCII arguments unchanged.

#include "link/commands.h"
#include "link/numbertext.h"

#include <cmath>
#include "require.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>
#include <QByteArray>
#include <QString>
#include <string>

namespace {

using namespace rxdeck;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool ignorable(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// decimalValue against strtod in the "C" locale (the fuzzer never changes it), on the text
// with the ignorable characters taken out. strtod reads more than decimal numbers (leading
// white space of other kinds, "inf", "nan", hexadecimal), so only texts whose number starts
// the way a decimal number does are compared.
void checkAgainstStrtod(const std::string& bytes, double value)
{
    std::string packed;
    for (char c : bytes)
        if (!ignorable(c))
            packed += c;
    std::size_t i = 0;
    if (i < packed.size() && (packed[i] == '+' || packed[i] == '-'))
        ++i;
    if (i >= packed.size() || !(isDigit(packed[i]) || packed[i] == '.'))
        return;
    if (packed[i] == '0' && i + 1 < packed.size() && (packed[i + 1] | 0x20) == 'x')
        return;
    const double expected = std::strtod(packed.c_str(), nullptr);
    REQUIRE(value == expected);
}

void checkDecimalValue(FuzzedDataProvider& in, const std::string& bytes, const QString& text)
{
    const double value = decimalValue(text);
    REQUIRE(!std::isnan(value));
    checkAgainstStrtod(bytes, value);

    // A blank, tab or line feed anywhere changes nothing.
    const auto at = in.ConsumeIntegralInRange<qsizetype>(0, text.size());
    const char inserted = " \t\n"[in.ConsumeIntegralInRange(0, 2)];
    REQUIRE(decimalValue(QString(text).insert(at, QLatin1Char(inserted))) == value);

    bool hasSpace = false;
    for (QChar c : text)
        hasSpace = hasSpace || c.isSpace();
    const auto number = numberOfText(text);
    if (number) {
        REQUIRE(std::isfinite(*number));
        if (!hasSpace)
            REQUIRE(*number == value);
    }
    // A text that strtod reads whole, as a finite decimal number, is a number.
    if (!hasSpace && !bytes.empty() && std::isfinite(value) &&
        bytes.find('\0') == std::string::npos) {
        std::size_t i = bytes[0] == '+' || bytes[0] == '-' ? 1 : 0;
        const bool decimalStart =
            i < bytes.size() && (isDigit(bytes[i]) || bytes[i] == '.') &&
            !(bytes[i] == '0' && i + 1 < bytes.size() && (bytes[i + 1] | 0x20) == 'x');
        char* end = nullptr;
        std::strtod(bytes.c_str(), &end);
        if (decimalStart && end == bytes.c_str() + bytes.size())
            REQUIRE(number.has_value());
    }

    const auto integer = integerOfText(text);
    if (integer) {
        REQUIRE(number.has_value());
        REQUIRE(*integer == std::nearbyint(*number)); // the default rounding is ties to even
    } else if (number) {
        const double rounded = std::nearbyint(*number);
        REQUIRE(rounded < std::numeric_limits<std::int16_t>::min() ||
                rounded > std::numeric_limits<std::int16_t>::max());
    }
}

int significantDigits(const std::string& text)
{
    const std::size_t first = text.find_first_of("123456789");
    if (first == std::string::npos)
        return 0;
    const std::size_t last = text.find_last_of("123456789");
    int count = 0;
    for (std::size_t i = first; i <= last; ++i)
        count += isDigit(text[i]) ? 1 : 0;
    return count;
}

void checkFrequencyText(double d)
{
    if (!std::isfinite(d))
        return;
    const QString text = frequencyText(d);
    const std::string s = text.toStdString();
    REQUIRE(!s.empty());
    REQUIRE(s.find_first_not_of("-.0123456789") == std::string::npos);
    REQUIRE(s.rfind('-') == std::string::npos || s.rfind('-') == 0);
    REQUIRE(s.front() != '-' || d < 0);
    REQUIRE(s != "-0");
    const std::size_t point = s.find('.');
    if (point != std::string::npos) {
        REQUIRE(s.find('.', point + 1) == std::string::npos);
        REQUIRE(s.back() != '.' && s.back() != '0');
        REQUIRE(point > 0 && isDigit(s[point - 1]));
    }
    // No leading zeros in the whole part: "0.5" and "0", never "00.5" or "07".
    const std::size_t whole = s.front() == '-' ? 1 : 0;
    REQUIRE(!(s[whole] == '0' && whole + 1 < s.size() && isDigit(s[whole + 1])));
    REQUIRE(significantDigits(s) <= 15);

    const double back = decimalValue(text);
    REQUIRE(std::fabs(back - d) <= 1e-14 * std::fabs(d));
    REQUIRE(numberOfText(text) == back);
    REQUIRE(frequencyText(back) == text);
}

// A non-negative count of millionths as the six-decimal text a frequency box holds.
std::string millionthsText(std::int64_t millionths)
{
    char text[40];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(millionths / 1000000),
                  static_cast<long long>(millionths % 1000000));
    return text;
}

// The shortest decimal text of a count of millionths: no trailing zeros, no trailing point.
std::string shortestText(std::int64_t millionths)
{
    std::string s = millionthsText(millionths < 0 ? -millionths : millionths);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return millionths < 0 ? "-" + s : s;
}

// Frequency arithmetic as the tuning steps do it: a six-decimal text read, a step added or
// taken away, the result written as frequency text. The representation error is hidden, so
// the text is the exact decimal result, as long as the result is not much smaller than the
// frequency (a difference of nearly equal values shows the error, and is not checked).
void checkSteps(FuzzedDataProvider& in)
{
    const auto frequency = in.ConsumeIntegralInRange<std::int64_t>(0, 100'000'000);
    const auto step = in.ConsumeIntegralInRange<std::int64_t>(0, 100'000'000);
    const QString blank = in.ConsumeBool() ? QStringLiteral(" ") : QString();
    const double f = decimalValue(blank + QString::fromStdString(millionthsText(frequency)));
    const double s = decimalValue(QString::fromStdString(millionthsText(step)));
    REQUIRE(frequencyText(f + s).toStdString() == shortestText(frequency + step));
    if (step * 10 <= frequency)
        REQUIRE(frequencyText(f - s).toStdString() == shortestText(frequency - step));
}

void checkLine(const QByteArray& line)
{
    REQUIRE(line.endsWith('\n'));
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        REQUIRE(byte >= 0x20 && byte < 0x7f);
    }
}

bool printableAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            return false;
    return true;
}

void checkCommands(FuzzedDataProvider& in, const QString& latin1)
{
    const std::string units = in.ConsumeRandomLengthString(256);
    QString utf16;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2)
        utf16 += QChar(char16_t(static_cast<unsigned char>(units[i]) |
                                static_cast<unsigned char>(units[i + 1]) << 8));
    const QString high = utf16.left(utf16.size() / 2);
    const QString low = utf16.mid(utf16.size() / 2);

    for (const QString& text : {utf16, latin1}) {
        const QByteArray line = commands::frequency(text);
        checkLine(line);
        if (printableAscii(text))
            REQUIRE(line == "FRQ" + text.toLatin1() + '\n');
    }
    const QByteArray scan = commands::scanStart(high, low);
    checkLine(scan);
    if (printableAscii(high) && printableAscii(low))
        REQUIRE(scan == "FRA0;FRB" + high.toLatin1() + ";FRA" + low.toLatin1() + ";SCF2;OPR1\n");

    const int value = in.ConsumeIntegral<int>();
    const QByteArray numbered[] = {commands::rfPath(value),     commands::agc(value),
                                   commands::manualGain(value), commands::detection(value),
                                   commands::bandwidth(value),  commands::passband(value),
                                   commands::bfo(value),        commands::blanker(value),
                                   commands::squelch(value),    commands::step(value)};
    for (const QByteArray& line : numbered) {
        checkLine(line);
        const qsizetype mnemonic = line.startsWith("AGC0;RFG") ? 8 : 3;
        REQUIRE(line.mid(mnemonic).chopped(1).toLongLong() == value);
    }

    const QByteArray dwell = commands::dwell(value);
    checkLine(dwell);
    const QString seconds = commands::dwellSecondsText(value);
    REQUIRE(dwell == "SDW" + seconds.toLatin1() + '\n');
    REQUIRE(decimalValue(seconds) == value / 2.0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    FuzzedDataProvider in(data, size);

    checkDecimalValue(in, bytes, text);

    if (size >= sizeof(double)) {
        double d;
        std::memcpy(&d, data, sizeof d);
        checkFrequencyText(d);
        if (std::isfinite(d))
            REQUIRE(roundHalfEven(d) == std::nearbyint(d));
    }
    checkFrequencyText(decimalValue(text));
    if (const auto number = numberOfText(text))
        checkFrequencyText(*number);

    checkSteps(in);
    checkCommands(in, text);
    return 0;
}
