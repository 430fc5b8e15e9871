// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/numbertext.h"

#include "link/receiver.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace rxdeck {
namespace {

bool isIgnorable(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The power of ten of the first non-zero digit of a number text shaped as
// [sign]digits[.digits][e[sign]digits]; only called for texts out of double range.
long decimalMagnitude(const std::string& text)
{
    const std::size_t e = text.find_first_of("eE");
    const std::string mantissa = text.substr(0, e);
    long exponent = 0;
    if (e != std::string::npos) {
        // Clamp long exponents; only their sign and size matter here.
        const std::string digits = text.substr(e + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        for (char c : digits)
            if (c >= '0' && c <= '9')
                exponent = std::min(exponent * 10 + (c - '0'), 100000L);
        if (negative)
            exponent = -exponent;
    }
    const std::size_t point = mantissa.find('.');
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos)
        return -100000; // all zeros: no magnitude at all
    const std::size_t pointAt = point == std::string::npos ? mantissa.size() : point;
    // Digits before the point count up from zero; after it, down from -1.
    const long place = first < pointAt ? long(pointAt - first) - 1 : -long(first - pointAt);
    return place + exponent + 1;
}

// Parses an ASCII number already cut to shape; from_chars ignores the C locale.
double parseAscii(const std::string& text)
{
    if (text.empty())
        return 0.0;
    const char* first = text.data();
    if (*first == '+')
        ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Overflow reads as an infinity of the right sign, underflow as zero; which one
        // depends on where the first significant digit stands, not on the notation.
        const bool negative = text.front() == '-';
        const bool overflow = decimalMagnitude(text) > 0;
        if (!overflow)
            return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    if (error != std::errc())
        return 0.0;
    return value;
}

// The longest number at the start of `chars`: sign, digits, at most one point and
// an optional exponent. Returns the ASCII text and how many characters it used.
struct Scan
{
    std::string number;
    qsizetype used = 0;
    bool hasDigits = false;
};

template <typename Next> Scan scanNumber(Next next)
{
    Scan scan;
    qsizetype pos = 0;
    const auto peek = next;

    QChar c = peek(pos);
    if (c == u'+' || c == u'-') {
        scan.number += char(c.unicode());
        ++pos;
    }
    bool point = false;
    for (c = peek(pos); isDigit(c) || (c == u'.' && !point); c = peek(++pos)) {
        if (c == u'.')
            point = true;
        else
            scan.hasDigits = true;
        scan.number += char(c.unicode());
    }
    if (!scan.hasDigits)
        return {};
    scan.used = pos;
    c = peek(pos);
    if (c == u'e' || c == u'E') {
        std::string exponent = "e";
        qsizetype at = pos + 1;
        QChar s = peek(at);
        if (s == u'+' || s == u'-') {
            exponent += char(s.unicode());
            ++at;
        }
        bool digits = false;
        for (QChar d = peek(at); isDigit(d); d = peek(++at)) {
            exponent += char(d.unicode());
            digits = true;
        }
        if (digits) {
            scan.number += exponent;
            scan.used = at;
        }
    }
    return scan;
}

} // namespace

double decimalValue(QStringView text)
{
    // Drop the ignorable characters first, so "1 4.2" reads as 14.2.
    QString packed;
    packed.reserve(text.size());
    for (QChar c : text)
        if (!isIgnorable(c))
            packed.append(c);
    const auto at = [&](qsizetype i) { return i < packed.size() ? packed.at(i) : QChar(); };
    const Scan scan = scanNumber(at);
    return scan.hasDigits ? parseAscii(scan.number) : 0.0;
}

std::optional<double> numberOfText(QStringView text)
{
    // Only the blanks that decimalValue skips may surround the number, so both read a
    // field the same way.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isIgnorable(text.at(begin)))
        ++begin;
    while (end > begin && isIgnorable(text.at(end - 1)))
        --end;
    const QStringView trimmed = text.sliced(begin, end - begin);
    const auto at = [&](qsizetype i) { return i < trimmed.size() ? trimmed.at(i) : QChar(); };
    const Scan scan = scanNumber(at);
    if (!scan.hasDigits || scan.used != trimmed.size())
        return std::nullopt;
    const double value = parseAscii(scan.number);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

std::optional<std::int16_t> integerOfText(QStringView text)
{
    const auto number = numberOfText(text);
    if (!number)
        return std::nullopt;
    const double rounded = roundHalfEven(*number);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString frequencyText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // Rounded to 15 digits, the very largest doubles would read back as infinity.
    constexpr double largest15 = 1.79769313486231e308;
    if (std::fabs(value) > largest15)
        value = std::copysign(largest15, value);
    // 15 significant digits in scientific form, then the point moved into place.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string sci(buffer, result.ptr);
    const bool negative = sci.front() == '-';
    const std::size_t mantissaStart = negative ? 1 : 0;
    const std::size_t e = sci.find('e');
    std::string digits;
    for (std::size_t i = mantissaStart; i < e; ++i)
        if (sci[i] != '.')
            digits += sci[i];
    const int exponent = std::stoi(sci.substr(e + 1));

    // digits holds d.dddd… with the point after the first digit; shift by exponent.
    std::string integerPart;
    std::string fraction;
    const int pointAt = exponent + 1;
    if (pointAt <= 0) {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-pointAt), '0') + digits;
    } else if (static_cast<std::size_t>(pointAt) >= digits.size()) {
        integerPart = digits + std::string(static_cast<std::size_t>(pointAt) - digits.size(), '0');
    } else {
        integerPart = digits.substr(0, static_cast<std::size_t>(pointAt));
        fraction = digits.substr(static_cast<std::size_t>(pointAt));
    }
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    const bool zero = integerPart.find_first_not_of('0') == std::string::npos && fraction.empty();
    std::string out;
    if (negative && !zero)
        out += '-';
    out += integerPart;
    if (!fraction.empty())
        out += '.' + fraction;
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

namespace {

// Digits with at most one "." somewhere among them, and at least one digit.
bool isPlainDecimal(QStringView text)
{
    int points = 0;
    int digits = 0;
    for (QChar c : text) {
        if (c == u'.')
            ++points;
        else if (isDigit(c))
            ++digits;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

bool inTuningRange(double megahertz)
{
    return megahertz >= lowestMHz && megahertz <= highestMHz;
}

} // namespace

std::optional<QString> typedFrequencyProblem(QStringView text)
{
    const QString range = QStringLiteral("The receiver tunes from 0.005 to 30 MHz.");
    if (text.trimmed().isEmpty())
        return QStringLiteral("Type a frequency in MHz, such as 7.055.");
    if (isPlainDecimal(text)) {
        const double megahertz = decimalValue(text);
        if (inTuningRange(megahertz))
            return std::nullopt;
        // Kilohertz typed out of habit: say what that is in megahertz.
        if (megahertz > highestMHz && inTuningRange(megahertz / 1000))
            return QStringLiteral("%1 is not a frequency in MHz: %1 kHz is %2 MHz. %3")
                .arg(text, frequencyText(megahertz / 1000), range);
        return QStringLiteral("%1 MHz is out of range. %2").arg(text, range);
    }
    QString withPoint = text.toString();
    withPoint.replace(u',', u'.');
    if (withPoint != text && isPlainDecimal(withPoint))
        return QStringLiteral("Write the decimal point as \".\": %1.").arg(withPoint);
    return QStringLiteral("\"%1\" is not a frequency: type MHz with \".\" as the decimal point, "
                          "such as 7.055.")
        .arg(text);
}

} // namespace rxdeck
