// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netcontrol/rigctlsession.h"

#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <span>

// The panel's controls as Hamlib's levels and functions: one table that the lists,
// both capability dumps, the gets and the sets all read.
namespace rxdeck::netcontrol {

// Nominal figures: clients take the RF path's stages in dB, the receiver reports no
// figure of its own, and this one value (or 0 for off) is all a set accepts.
inline constexpr int preampDb = 10;     // the "Preamplified" RF path
inline constexpr int attenuatorDb = 10; // the "Attenuated" RF path

// Hamlib's AGC codes for the receiver's three gain controls.
inline constexpr int agcOff = 0;  // manual gain
inline constexpr int agcFast = 2; // AGC2
inline constexpr int agcSlow = 3; // AGC1

struct Control
{
    const char* name; // Hamlib's name, as in "l SQL"
    int bit;          // its bit in Hamlib's level or function mask
    bool isFloat;     // Hamlib passes its value as a float
    // The range and step dump_caps shows; 0..0/0 where the values are listed instead.
    double lowest, highest, step;
    // Its value, or none while the panel's setting is unknown.
    std::optional<double> (*read)(const RigState& state);
    // The command line for a value, as the panel's own control sends it, with `state` changed
    // as that control would change it. None: the receiver cannot take the value. An empty
    // line: the receiver already has it. Null for a control that is only read.
    std::optional<QByteArray> (*write)(double value, RigState& state);
    Setting setting; // what its line changes; unused for a control that is only read
};

std::span<const Control> levels();
std::span<const Control> functions();
const Control* findControl(std::span<const Control> controls, QByteArrayView name);

// "PREAMP ATT … ": the names, each followed by a blank, as "l ?" lists them.
QByteArray namesOf(std::span<const Control> controls, bool settableOnly);
// The Hamlib mask of the controls, as dump_state writes it ("0x4040020a33").
QByteArray maskOf(std::span<const Control> controls, bool settableOnly);
// "SQL(0..1/0.00735294) ", as dump_caps writes each level.
QByteArray rangesOf(std::span<const Control> controls, bool settableOnly);
// The line for a value given as text, after checking it: a number, within the control's
// range where it shows one, whole for a control that takes whole numbers. None: refused.
std::optional<QByteArray> writeText(const Control& control, const QByteArray& text,
                                    RigState& state);
// A value as rigctld prints it: "%f" for a float level, whole otherwise.
QByteArray valueText(const Control& control, double value);

} // namespace rxdeck::netcontrol
