// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/memoryscanner.h"

#include <QList>
#include <vector>

namespace rxdeck::memories {
class MemoryListModel;
}

namespace rxdeck::memoryscan {

// The heading of the column that locks memories out for good: anything in its cell.
inline constexpr char skipHeader[] = "Skip";

// The memories to scan, in list order: the given rows, or every memory when fewer
// than two are given; those with a Skip mark are locked out.
std::vector<Channel> channelsOf(const memories::MemoryListModel& model, QList<int> rows);

} // namespace rxdeck::memoryscan
