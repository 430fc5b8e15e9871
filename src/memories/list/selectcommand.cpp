// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/selectcommand.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/receiver.h"

namespace rxdeck::memories {

std::optional<QByteArray> selectCommandLine(const QString& cellText)
{
    const double megahertz = decimalValue(cellText);
    if (megahertz < lowestMHz || megahertz > highestMHz)
        return std::nullopt;
    return commands::frequency(cellText); // the text as shown, not a reformatted number
}

} // namespace rxdeck::memories
