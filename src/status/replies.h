// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <QChar>
#include <QString>
#include <QStringView>

// Decoding of the receiver's two replies. Each is whatever text one read of the
// port returned, picked apart at fixed 1-based character positions; no line end,
// mnemonic or length is checked, and a position past the end gives an empty value.
namespace rxdeck::replies {

// Characters [position, position + count) of a text, 1-based, cut at its end.
QString field(QStringView reply, int position, int count);

// Where a reply carries one field: its mnemonic at `position` (1-based), a blank, then
// `width` characters of value.
struct FieldPlace
{
    const char* mnemonic;
    int position;
    int width;
    constexpr int valueAt() const { return position + 4; }
    constexpr int valueEnd() const { return valueAt() + width - 1; }
};

// The settings reply's fields, in the order of the settings query.
enum class SettingsField
{
    RfPath,
    Agc,
    Gain,
    LowLimit,
    HighLimit,
    Squelch,
    Blanker,
    Dwell,
    Step,
    Passband,
    Bfo
};
inline constexpr std::array<FieldPlace, 11> settingsFields = {{
    {"RFP", 1, 1},
    {"AGC", 7, 1},
    {"RFG", 13, 3},
    {"FRA", 21, 9},
    {"FRB", 35, 9},
    {"SQL", 49, 3},
    {"BLK", 57, 2},
    {"SDW", 64, 4},
    {"INC", 73, 2},
    {"PBT", 84, 5},
    {"BFO", 94, 5},
}};

// The status reply's fields, in the order of the status query.
enum class StatusField
{
    Frequency,
    Mode,
    Signal,
    Bandwidth
};
inline constexpr std::array<FieldPlace, 4> statusFields = {{
    {"FRQ", 1, 9},
    {"DET", 15, 1},
    {"SGV", 21, 4},
    {"BWS", 32, 1},
}};

constexpr const FieldPlace& place(SettingsField f)
{
    return settingsFields[std::size_t(f)];
}
constexpr const FieldPlace& place(StatusField f)
{
    return statusFields[std::size_t(f)];
}

// The answer to the settings query. Numeric fields that do not hold a number are
// empty; the caller checks their range against the slider they feed.
struct Settings
{
    QChar rfPath;      // "1".."3" light a lamp; anything else changes nothing
    QChar agc;         // "0".."2"
    QString lowLimit;  // nine characters, unchanged
    QString highLimit; // nine characters, unchanged
    std::optional<int> squelch;
    std::optional<int> blanker;
    std::optional<int> dwellHalfSeconds; // twice the seconds, rounded half to even
    QString dwellSeconds;                // the seconds in shortest form
    std::optional<int> step;
    std::optional<int> passband;
    std::optional<int> bfo;
};
Settings decodeSettings(QStringView reply);

// The answer to the status query.
struct Status
{
    QString frequency; // the ten characters at 4..13 (the value and the blank before it),
                       // usually a blank and nn.nnnnnn
    QChar mode;        // "1".."6"
    QString signal;    // the four characters at 25..28, dBm
    QChar bandwidth;   // "1".."5"
};
Status decodeStatus(QStringView reply);

// The status reply decoded, or none when it is not in the receiver's form: a frequency
// field other than a blank and nn.nnnnnn within 0 to 30 MHz, a signal field that is not
// a number, or a mnemonic before the signal field out of its place (a byte lost or
// added shifts the fields after it).
std::optional<Status> checkedStatus(QStringView reply);

// The fixed length of each reply up to its last field, without the line end.
inline constexpr int statusLength = statusFields.back().valueEnd();
inline constexpr int settingsLength = settingsFields.back().valueEnd();

// Which reply a text is, told by the mnemonics standing where each reply's layout
// puts its own: "RFP" at 1, "AGC" at 7 … for the settings reply, "FRQ" at 1, "DET"
// at 15 … for the status reply. A text with neither (a fragment, a receiver that
// leaves them out) or with both is Unknown.
enum class ReplyKind
{
    Unknown,
    Settings,
    Status
};
ReplyKind kindOf(QStringView reply);

// The display text of a frequency field: its first seven characters, ".", the rest,
// so " 14.200000" reads " 14.200.000" (MHz, kHz, Hz).
QString groupedFrequency(const QString& frequency);

// Index 0..5 of the mode lamp for a mode digit, or none.
std::optional<int> modeIndex(QChar digit);
// Index 0..4 of the bandwidth lamp for a bandwidth digit, or none.
std::optional<int> bandwidthIndex(QChar digit);
// Index 0..2 of the RF-path lamp for an RF-path digit, or none.
std::optional<int> rfPathIndex(QChar digit);
// "Manual", "Slow" or "Fast" for an AGC digit, or none.
std::optional<QString> agcText(QChar digit);

inline constexpr int sMeterSteps = 12;
// Thresholds in dBm: a step lights when the signal is strictly above its threshold.
inline constexpr std::array<double, sMeterSteps> sMeterThresholds = {
    -114, -111, -108, -105, -102, -99, -96, -93, -90, -80, -70, -60};
std::array<bool, sMeterSteps> sMeter(double signalDbm);

} // namespace rxdeck::replies
