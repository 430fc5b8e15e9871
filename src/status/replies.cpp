// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replies.h"

#include "link/numbertext.h"

namespace rxdeck::replies {
namespace {

QChar charAt(QStringView reply, int position)
{
    return position <= reply.size() ? reply.at(position - 1) : QChar();
}

std::optional<int> integerField(QStringView reply, int position, int count)
{
    const auto value = integerOfText(field(reply, position, count));
    return value ? std::optional<int>(*value) : std::nullopt;
}

std::optional<int> digitIndex(QChar digit, char first, char last)
{
    if (digit < QLatin1Char(first) || digit > QLatin1Char(last))
        return std::nullopt;
    return digit.unicode() - first;
}

struct Mnemonic
{
    const char* text;
    int position;
};

constexpr Mnemonic settingsMnemonics[] = {{"RFP", 1},  {"AGC", 7},  {"RFG", 13}, {"FRA", 21},
                                          {"FRB", 35}, {"SQL", 49}, {"BLK", 57}, {"SDW", 64},
                                          {"INC", 73}, {"PBT", 84}, {"BFO", 94}};
constexpr Mnemonic statusMnemonics[] = {{"FRQ", 1}, {"DET", 15}, {"SGV", 21}, {"BWS", 32}};

template <std::size_t N> bool carriesAny(QStringView reply, const Mnemonic (&mnemonics)[N])
{
    for (const Mnemonic& m : mnemonics)
        if (reply.size() >= m.position + 2 &&
            reply.sliced(m.position - 1, 3) == QLatin1StringView(m.text))
            return true;
    return false;
}

} // namespace

ReplyKind kindOf(QStringView reply)
{
    const bool settings = carriesAny(reply, settingsMnemonics);
    const bool status = carriesAny(reply, statusMnemonics);
    if (settings == status)
        return ReplyKind::Unknown;
    return settings ? ReplyKind::Settings : ReplyKind::Status;
}

QString field(QStringView reply, int position, int count)
{
    if (position > reply.size() || count <= 0)
        return {};
    return reply.mid(position - 1, count).toString();
}

Settings decodeSettings(QStringView reply)
{
    Settings s;
    s.rfPath = charAt(reply, 5);
    s.agc = charAt(reply, 11);
    s.lowLimit = field(reply, 25, 9);
    s.highLimit = field(reply, 39, 9);
    s.squelch = integerField(reply, 53, 3);
    s.blanker = integerField(reply, 61, 2);
    const QString dwell = field(reply, 68, 4);
    if (const auto seconds = numberOfText(dwell)) {
        const double half = roundHalfEven(*seconds * 2.0);
        if (half >= -32768 && half <= 32767) {
            s.dwellHalfSeconds = int(half);
            s.dwellSeconds = frequencyText(decimalValue(dwell));
        }
    }
    s.step = integerField(reply, 77, 2);
    s.passband = integerField(reply, 88, 5);
    s.bfo = integerField(reply, 98, 5);
    return s;
}

Status decodeStatus(QStringView reply)
{
    return {field(reply, 4, 10), charAt(reply, 19), field(reply, 25, 4), charAt(reply, 36)};
}

std::optional<Status> checkedStatus(QStringView reply)
{
    const auto digits = [&](int position, int count) {
        for (int i = position; i < position + count; ++i)
            if (!charAt(reply, i).isDigit())
                return false;
        return true;
    };
    if (reply.size() < statusLength || charAt(reply, 4) != u' ' || !digits(5, 2) ||
        charAt(reply, 7) != u'.' || !digits(8, 6))
        return std::nullopt;
    const Status status = decodeStatus(reply);
    if (decimalValue(status.frequency) > 30.0)
        return std::nullopt;
    const QString signal = status.signal.trimmed();
    if (signal.isEmpty() || !numberOfText(signal))
        return std::nullopt;
    // A shift past the signal field moves no digit onto the bandwidth position.
    if (carriesAny(reply, statusMnemonics))
        for (const Mnemonic& m : statusMnemonics)
            if (m.position < 25 && reply.sliced(m.position - 1, 3) != QLatin1StringView(m.text))
                return std::nullopt;
    return status;
}

QString groupedFrequency(const QString& frequency)
{
    return frequency.left(7) + u'.' + frequency.mid(7);
}

std::optional<int> modeIndex(QChar digit)
{
    return digitIndex(digit, '1', '6');
}

std::optional<int> bandwidthIndex(QChar digit)
{
    return digitIndex(digit, '1', '5');
}

std::optional<int> rfPathIndex(QChar digit)
{
    return digitIndex(digit, '1', '3');
}

std::optional<QString> agcText(QChar digit)
{
    static const std::array<QString, 3> texts = {QStringLiteral("Manual"), QStringLiteral("Slow"),
                                                 QStringLiteral("Fast")};
    const auto index = digitIndex(digit, '0', '2');
    return index ? std::optional<QString>(texts[std::size_t(*index)]) : std::nullopt;
}

std::array<bool, sMeterSteps> sMeter(double signalDbm)
{
    std::array<bool, sMeterSteps> lit{};
    for (std::size_t i = 0; i < lit.size(); ++i)
        lit[i] = signalDbm > sMeterThresholds[i];
    return lit;
}

} // namespace rxdeck::replies
