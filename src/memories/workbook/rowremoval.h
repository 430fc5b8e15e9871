// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sheet structures that refer to rows outside cell formulas, moved along when a sheet row
// is removed: hyperlinks with their tooltips, comments, merged areas, data validation,
// conditional formats, manual page breaks and the anchors of drawing objects. Internal to the
// workbook codec.

#include "memories/workbook/biff.h"
#include "memories/workbook/formularefs.h"

#include <optional>
#include <QString>
#include <vector>

namespace rxdeck::workbook::rowremoval {

struct Sheet
{
    formula::Biff biff = formula::Biff::V8;
    int ownSheet = -1;           // sheet (BOUNDSHEET index) whose substream this is
    formula::RowRemoval removal; // the sheet and row removed
    const formula::ExternSheets* externs = nullptr;
};

// Adjusts the records of one sheet substream in place: on the sheet that loses the row, every
// structure tied to rows moves up with them, shrinks where the row cuts through it, and goes
// with the row where it lies wholly inside it; on every sheet, the formulas of data
// validation and conditional formats follow the moved cells. Returns a reason for the user,
// and the caller keeps the records as they were, where a structure cannot be adjusted safely.
std::optional<QString> adjust(std::vector<biff::Record>& records, const Sheet& sheet);

} // namespace rxdeck::workbook::rowremoval
