// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/levels.h"

#include "link/commands.h"

#include <algorithm>
#include <cmath>

namespace rxdeck::netcontrol {
namespace {

constexpr double s9Dbm = -73;

// RF path digits.
constexpr int normalPath = 1;
constexpr int attenuatedPath = 2;
constexpr int preamplifiedPath = 3;

// Hamlib's 0..1 levels in whole steps of a command's range; the squelch runs the other
// way, from open (0, the threshold at -136 dBm) to tight (1, at 0 dBm).
double fraction(int v, commands::Range r)
{
    return double(v - r.lowest) / (r.highest - r.lowest);
}

int unitsOf(double fraction, commands::Range r)
{
    return r.lowest + int(std::lround(fraction * (r.highest - r.lowest)));
}

std::optional<double> readSetting(const RigState& s, Setting setting)
{
    const auto v = s.setting(setting);
    return v ? std::optional<double>(*v) : std::nullopt;
}

// The RF path as one of its two switched stages: the stage's dB when on, 0 when off.
std::optional<double> readStage(const RigState& s, int path, int db)
{
    const auto v = s.setting(Setting::RfPath);
    return v ? std::optional<double>(*v == path ? db : 0) : std::nullopt;
}

std::optional<QByteArray> writeStage(double value, RigState& s, int path, int db)
{
    const auto current = s.setting(Setting::RfPath);
    if (value == db) {
        s.set(Setting::RfPath, path);
        return commands::rfPath(path);
    }
    if (value != 0)
        return std::nullopt;
    // Off: the normal path when this stage is on or the path is not known; otherwise the
    // receiver already has it off.
    if (current && *current != path)
        return QByteArray();
    s.set(Setting::RfPath, normalPath);
    return commands::rfPath(normalPath);
}

std::optional<QByteArray> writeManualGain(int gain, RigState& s)
{
    s.set(Setting::Agc, 0);
    s.set(Setting::Gain, gain);
    return commands::manualGain(gain);
}

const Control levelTable[] = {
    {"PREAMP", 0, false, 0, 0, 0,
     [](const RigState& s) { return readStage(s, preamplifiedPath, preampDb); },
     [](double v, RigState& s) { return writeStage(v, s, preamplifiedPath, preampDb); },
     Setting::RfPath},
    {"ATT", 1, false, 0, 0, 0,
     [](const RigState& s) { return readStage(s, attenuatedPath, attenuatorDb); },
     [](double v, RigState& s) { return writeStage(v, s, attenuatedPath, attenuatorDb); },
     Setting::RfPath},
    {"RF", 4, true, 0, 1, 1.0 / (commands::gainRange.highest - commands::gainRange.lowest),
     [](const RigState& s) {
         const auto v = s.setting(Setting::Gain);
         return v ? std::optional<double>(fraction(*v, commands::gainRange)) : std::nullopt;
     },
     [](double v, RigState& s) { return writeManualGain(unitsOf(v, commands::gainRange), s); },
     Setting::Gain},
    {"SQL", 5, true, 0, 1, 1.0 / (commands::squelchRange.highest - commands::squelchRange.lowest),
     [](const RigState& s) {
         const auto v = s.setting(Setting::Squelch);
         return v ? std::optional<double>(1 - fraction(*v, commands::squelchRange)) : std::nullopt;
     },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         const int level = unitsOf(1 - v, commands::squelchRange);
         s.set(Setting::Squelch, level);
         return commands::squelch(level);
     },
     Setting::Squelch},
    {"PBT_IN", 9, true, commands::passbandRange.lowest, commands::passbandRange.highest, 1,
     [](const RigState& s) { return readSetting(s, Setting::Passband); },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         const int hz = int(std::lround(v));
         s.set(Setting::Passband, hz);
         return commands::passband(hz);
     },
     Setting::Passband},
    {"CWPITCH", 11, false, commands::bfoRange.lowest, commands::bfoRange.highest, 1,
     [](const RigState& s) { return readSetting(s, Setting::Bfo); },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         s.set(Setting::Bfo, int(v));
         return commands::bfo(int(v));
     },
     Setting::Bfo},
    {"AGC", 17, false, 0, 0, 0,
     [](const RigState& s) -> std::optional<double> {
         static constexpr int codes[] = {agcOff, agcSlow, agcFast};
         const auto v = s.setting(Setting::Agc);
         if (!v || *v < 0 || *v > 2)
             return std::nullopt;
         return codes[*v];
     },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         const auto gain = s.setting(Setting::Gain);
         if (v == agcOff && gain)
             return writeManualGain(*gain, s);
         if (v != agcSlow && v != agcFast)
             return std::nullopt;
         const int mode = v == agcSlow ? 1 : 2;
         s.set(Setting::Agc, mode);
         return commands::agc(mode);
     },
     Setting::Agc},
    {"STRENGTH", 30, false, 0, 0, 0,
     [](const RigState& s) -> std::optional<double> {
         return double(std::lround(s.signalDbm - s9Dbm));
     },
     nullptr, Setting::Squelch},
    {"NB", 38, true, 0, 1, 1.0 / (commands::blankerRange.highest - commands::blankerRange.lowest),
     [](const RigState& s) {
         const auto v = s.setting(Setting::Blanker);
         return v ? std::optional<double>(fraction(*v, commands::blankerRange)) : std::nullopt;
     },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         const int level = unitsOf(v, commands::blankerRange);
         s.set(Setting::Blanker, level);
         return commands::blanker(level);
     },
     Setting::Blanker},
};

const Control functionTable[] = {
    // The blanker on or off; on from off is its lowest level.
    {"NB", 1, false, 0, 1, 1,
     [](const RigState& s) -> std::optional<double> {
         const auto v = s.setting(Setting::Blanker);
         return v ? std::optional<double>(*v > 0 ? 1 : 0) : std::nullopt;
     },
     [](double v, RigState& s) -> std::optional<QByteArray> {
         if (v != 0 && v != 1)
             return std::nullopt;
         const auto current = s.setting(Setting::Blanker);
         if (v == 1 && current && *current > 0)
             return QByteArray();
         const int level = v == 1 ? commands::blankerRange.lowest + 1 : 0;
         s.set(Setting::Blanker, level);
         return commands::blanker(level);
     },
     Setting::Blanker},
};

bool included(const Control& c, bool settableOnly)
{
    return !settableOnly || c.write;
}

} // namespace

std::span<const Control> levels()
{
    return levelTable;
}

std::span<const Control> functions()
{
    return functionTable;
}

const Control* findControl(std::span<const Control> controls, QByteArrayView name)
{
    const auto it = std::find_if(controls.begin(), controls.end(),
                                 [name](const Control& c) { return name == c.name; });
    return it == controls.end() ? nullptr : &*it;
}

QByteArray namesOf(std::span<const Control> controls, bool settableOnly)
{
    QByteArray out;
    for (const Control& c : controls)
        if (included(c, settableOnly))
            out += QByteArray(c.name) + ' ';
    return out;
}

QByteArray maskOf(std::span<const Control> controls, bool settableOnly)
{
    quint64 mask = 0;
    for (const Control& c : controls)
        if (included(c, settableOnly))
            mask |= quint64(1) << c.bit;
    return "0x" + QByteArray::number(mask, 16);
}

QByteArray rangesOf(std::span<const Control> controls, bool settableOnly)
{
    QByteArray out;
    for (const Control& c : controls) {
        if (!included(c, settableOnly))
            continue;
        const auto number = [&c](double v) {
            return c.isFloat ? QByteArray::number(v, 'g', 6) : QByteArray::number(std::lround(v));
        };
        out += QByteArray(c.name) + '(' + number(c.lowest) + ".." + number(c.highest) + '/' +
               number(c.step) + ") ";
    }
    return out;
}

std::optional<QByteArray> writeText(const Control& control, const QByteArray& text, RigState& state)
{
    bool valid = false;
    const double value = text.toDouble(&valid);
    if (!valid || !std::isfinite(value) || !control.write)
        return std::nullopt;
    if (control.lowest < control.highest && (value < control.lowest || value > control.highest))
        return std::nullopt;
    if (!control.isFloat && value != std::trunc(value))
        return std::nullopt;
    return control.write(value, state);
}

QByteArray valueText(const Control& control, double value)
{
    return control.isFloat ? QByteArray::number(value, 'f', 6)
                           : QByteArray::number(std::lround(value));
}

} // namespace rxdeck::netcontrol
