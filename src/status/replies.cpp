// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replies.h"

#include "link/numbertext.h"
#include "link/receiver.h"

#include <algorithm>

namespace rxdeck::replies {
namespace {

QChar charAt(QStringView reply, int position)
{
    return position <= reply.size() ? reply.at(position - 1) : QChar();
}

QString valueOf(QStringView reply, const FieldPlace& f)
{
    return field(reply, f.valueAt(), f.width);
}

QChar charOf(QStringView reply, const FieldPlace& f)
{
    return charAt(reply, f.valueAt());
}

std::optional<int> integerField(QStringView reply, SettingsField f)
{
    const auto value = integerOfText(valueOf(reply, place(f)));
    return value ? std::optional<int>(*value) : std::nullopt;
}

// The frequency field keeps the blank before its value.
QString frequencyField(QStringView reply)
{
    const FieldPlace& f = place(StatusField::Frequency);
    return field(reply, f.valueAt() - 1, f.width + 1);
}

std::optional<int> digitIndex(QChar digit, char first, char last)
{
    if (digit < QLatin1Char(first) || digit > QLatin1Char(last))
        return std::nullopt;
    return digit.unicode() - first;
}

bool carries(QStringView reply, const FieldPlace& f)
{
    return reply.size() >= f.position + 2 &&
           reply.sliced(f.position - 1, 3) == QLatin1StringView(f.mnemonic);
}

template <std::size_t N> bool carriesAny(QStringView reply, const std::array<FieldPlace, N>& fields)
{
    return std::any_of(fields.begin(), fields.end(),
                       [reply](const FieldPlace& f) { return carries(reply, f); });
}

} // namespace

ReplyKind kindOf(QStringView reply)
{
    const bool settings = carriesAny(reply, settingsFields);
    const bool status = carriesAny(reply, statusFields);
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
    using F = SettingsField;
    Settings s;
    s.rfPath = charOf(reply, place(F::RfPath));
    s.agc = charOf(reply, place(F::Agc));
    s.lowLimit = valueOf(reply, place(F::LowLimit));
    s.highLimit = valueOf(reply, place(F::HighLimit));
    s.squelch = integerField(reply, F::Squelch);
    s.blanker = integerField(reply, F::Blanker);
    const QString dwell = valueOf(reply, place(F::Dwell));
    if (const auto seconds = numberOfText(dwell)) {
        const double half = roundHalfEven(*seconds * 2.0);
        if (half >= -32768 && half <= 32767) {
            s.dwellHalfSeconds = int(half);
            s.dwellSeconds = frequencyText(decimalValue(dwell));
        }
    }
    s.step = integerField(reply, F::Step);
    s.passband = integerField(reply, F::Passband);
    s.bfo = integerField(reply, F::Bfo);
    return s;
}

Status decodeStatus(QStringView reply)
{
    return {frequencyField(reply), charOf(reply, place(StatusField::Mode)),
            valueOf(reply, place(StatusField::Signal)),
            charOf(reply, place(StatusField::Bandwidth))};
}

std::optional<Status> checkedStatus(QStringView reply)
{
    const auto digits = [&](int position, int count) {
        for (int i = position; i < position + count; ++i)
            if (!charAt(reply, i).isDigit())
                return false;
        return true;
    };
    // A blank, then nn.nnnnnn.
    const int mhz = place(StatusField::Frequency).valueAt();
    if (reply.size() < statusLength || charAt(reply, mhz - 1) != u' ' || !digits(mhz, 2) ||
        charAt(reply, mhz + 2) != u'.' || !digits(mhz + 3, 6))
        return std::nullopt;
    const Status status = decodeStatus(reply);
    if (decimalValue(status.frequency) > 30.0)
        return std::nullopt;
    const QString signal = status.signal.trimmed();
    if (signal.isEmpty() || !numberOfText(signal))
        return std::nullopt;
    // A shift past the signal field moves no digit onto the bandwidth position.
    if (carriesAny(reply, statusFields))
        for (const FieldPlace& f : statusFields)
            if (f.position < place(StatusField::Signal).valueAt() && !carries(reply, f))
                return std::nullopt;
    return status;
}

QString groupedFrequency(const QString& frequency)
{
    return frequency.left(7) + u'.' + frequency.mid(7);
}

std::optional<int> modeIndex(QChar digit)
{
    return digitIndex(digit, '1', char('0' + receiver::modes.size()));
}

std::optional<int> bandwidthIndex(QChar digit)
{
    return digitIndex(digit, '1', char('0' + receiver::bandwidthsHz.size()));
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
