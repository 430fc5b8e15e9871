// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace rxdeck::sim {

// Reads a plain decimal number such as "7", "-500", "14.2" or ".5", with blanks allowed around
// it. Exponents, "inf", "nan", hexadecimal and trailing text are refused, so only what an
// operator could key in on a front panel comes through.
std::optional<double> parseDecimal(std::string_view text);

} // namespace rxdeck::sim
