// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/channels.h"

#include "memories/list/memorylistmodel.h"
#include "memories/workbook/workbook.h"

#include <algorithm>

namespace rxdeck::memoryscan {

std::vector<bool> skipColumn(const QString& workbookPath)
{
    const workbook::ReadResult read = workbook::read(workbookPath);
    if (!read.book)
        return {};
    const workbook::Sheet* sheet = read.book->sheet(QStringLiteral("Sheet1"));
    if (!sheet || sheet->rows.empty())
        return {};
    const auto& header = sheet->rows.front();
    const auto column = std::find_if(header.begin(), header.end(), [](const workbook::Cell& cell) {
        const QString* text = std::get_if<QString>(&cell);
        return text && text->trimmed().compare(QStringLiteral("Skip"), Qt::CaseInsensitive) == 0;
    });
    if (column == header.end())
        return {};
    const auto index = std::size_t(column - header.begin());
    std::vector<bool> locked;
    for (std::size_t r = 1; r < sheet->rows.size(); ++r) {
        const auto& row = sheet->rows[r];
        const bool filled =
            index < row.size() && !std::holds_alternative<workbook::Empty>(row[index]);
        locked.push_back(filled);
    }
    return locked;
}

std::vector<Channel> channelsOf(const memories::MemoryListModel& model, QList<int> rows,
                                const std::vector<bool>& lockedOut)
{
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
                            std::size_t(row) < lockedOut.size() && lockedOut[std::size_t(row)]});
    return channels;
}

} // namespace rxdeck::memoryscan
