// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <QString>
#include <QStringView>

// The number texts the receiver link works with. Frequencies travel as text in
// megahertz with "." as the decimal point, whatever the user's regional settings.
namespace rxdeck {

// The number at the start of a text. Blanks, tabs and line feeds are ignored
// wherever they stand; reading stops at the first character that cannot continue
// the number; a text without a leading number reads as 0. Never fails.
double decimalValue(QStringView text);

// A text that is one decimal number and nothing else (blanks around it and a
// leading sign allowed), or nothing.
std::optional<double> numberOfText(QStringView text);

// numberOfText rounded to the nearest integer, ties to even, when it fits a 16-bit
// signed integer.
std::optional<std::int16_t> integerOfText(QStringView text);

// Rounds to the nearest integer with ties to even.
double roundHalfEven(double value);

// Plain decimal notation with at most 15 significant digits: no exponent, no
// trailing zeros or point, "-" only for a negative value. Hides the representation
// error of sums such as 14.2 + 0.009.
QString frequencyText(double value);

// Why a typed frequency cannot go to the receiver, in a sentence for the user, or
// nothing when it can: digits with at most one "." and nothing else, within the
// receiver's tuning range (link/receiver.h).
std::optional<QString> typedFrequencyProblem(QStringView text);

} // namespace rxdeck
