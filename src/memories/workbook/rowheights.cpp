// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/workbook/rowheights.h"

#include "memories/workbook/recordviews.h"

#include <algorithm>

namespace rxdeck::workbook {

namespace {
constexpr std::uint16_t defaultHidden = 0x0002; // DEFAULTROWHEIGHT fDyZero
} // namespace

RowHeights::RowHeights(const std::vector<biff::Record>& records, int rowCount) : rowCount_(rowCount)
{
    for (const std::size_t i : biff::ownRecords(records)) {
        const biff::Record& r = records[i];
        if (r.type == biff::type::defaultRowHeight && r.body.size() >= 4)
            default_ =
                (biff::get16(r.body, 0) & defaultHidden) ? 0 : biff::get16(r.body, 2) & 0x7FFF;
        else if (const auto row = biff::RowRecord::of(r))
            heights_[row->row()] = row->height();
    }
}

int RowHeights::height(int row) const
{
    const auto found = heights_.find(row);
    return found == heights_.end() ? default_ : found->second;
}

std::int64_t RowHeights::offset(RowPoint p) const
{
    std::int64_t twips = std::int64_t(default_) * p.row;
    for (auto it = heights_.begin(); it != heights_.end() && it->first < p.row; ++it)
        twips += it->second - default_;
    return 256 * twips + std::int64_t(p.dy) * height(p.row);
}

RowPoint RowHeights::afterRemoval(std::int64_t offset, int removed) const
{
    // Runs of rows of the default height are crossed in one step: a sheet has 65,536 rows
    // and a memory list a ROW record for each of its own.
    const std::int64_t unit = 256 * std::int64_t(default_);
    std::int64_t top = 0;
    int row = 0;
    for (auto it = heights_.begin(); row < rowCount_; ++it) {
        while (it != heights_.end() && it->first == removed)
            ++it;
        const int own = it == heights_.end() ? rowCount_ : it->first - (it->first > removed);
        if (unit > 0 && own > row) {
            const std::int64_t rows = std::min<std::int64_t>((offset - top) / unit, own - row);
            top += rows * unit;
            row += static_cast<int>(rows);
            if (row < own)
                return {row, static_cast<int>((offset - top) / default_)};
        }
        row = own;
        if (it == heights_.end() || row >= rowCount_)
            break;
        const std::int64_t h = it->second;
        if (offset < top + 256 * h)
            return {row, static_cast<int>((offset - top) / h)};
        top += 256 * h;
        ++row;
    }
    return {rowCount_ - 1, 255};
}

} // namespace rxdeck::workbook
