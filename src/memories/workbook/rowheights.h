// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where a point down a sheet lies, as drawing anchors give it (a row and how far into it in
// 1/256 of its height), worked out from the heights of the sheet's rows: a shape that keeps
// its size or its place when a row is removed needs them. Internal to the workbook codec.

#include "memories/workbook/biff.h"

#include <cstdint>
#include <map>
#include <vector>

namespace rxdeck::workbook {

struct RowPoint
{
    int row = 0;
    int dy = 0; // in 1/256 of the row's height
};

class RowHeights
{
public:
    // From a sheet substream's own ROW and DEFAULTROWHEIGHT records.
    RowHeights(const std::vector<biff::Record>& records, int rowCount);

    // In twips; a hidden row has none.
    int height(int row) const;
    // From the top of the sheet, in 1/256 twips.
    std::int64_t offset(RowPoint p) const;
    // The point at that offset once row `removed` has gone and the rows below it moved up.
    RowPoint afterRemoval(std::int64_t offset, int removed) const;

private:
    std::map<int, int> heights_; // rows whose ROW record gives their height
    int default_ = 255;          // what Excel uses without a DEFAULTROWHEIGHT record
    int rowCount_;
};

} // namespace rxdeck::workbook
