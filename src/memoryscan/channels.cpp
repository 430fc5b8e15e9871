// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/channels.h"

#include "memories/list/memorylistmodel.h"

#include <algorithm>

namespace rxdeck::memoryscan {

std::vector<Channel> channelsOf(const memories::MemoryListModel& model, QList<int> rows)
{
    const int skip = model.sideColumn(QString::fromLatin1(skipHeader));
    const int count = model.memoryCount();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([count](int row) { return row < 0 || row >= count; });
    if (rows.size() < 2) {
        rows.clear();
        for (int row = 0; row < count; ++row)
            rows << row;
    }
    std::vector<Channel> channels;
    for (const int row : rows)
        channels.push_back({row, model.displayText(row, memories::MemoryListModel::FreqColumn),
                            model.displayText(row, memories::MemoryListModel::NoteColumn),
                            model.sideCellFilled(row, skip)});
    return channels;
}

} // namespace rxdeck::memoryscan
