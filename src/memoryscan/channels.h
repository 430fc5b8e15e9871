// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/memoryscanner.h"

#include <QList>
#include <vector>

namespace rxdeck::memories {
class MemoryListModel;
}

namespace rxdeck::memoryscan {

// Which memories are locked out for good: those with anything in the column headed
// "Skip" on Sheet1 of the workbook, by memory row. Empty when there is no such column
// or the workbook cannot be read.
std::vector<bool> skipColumn(const QString& workbookPath);

// The memories to scan, in list order: the given rows, or every memory when fewer
// than two are given.
std::vector<Channel> channelsOf(const memories::MemoryListModel& model, QList<int> rows,
                                const std::vector<bool>& lockedOut);

} // namespace rxdeck::memoryscan
