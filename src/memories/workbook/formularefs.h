// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Adjusting formula references when a sheet row is removed and the rows below move up,
// as a spreadsheet program does. Internal to the workbook codec.

#include "memories/workbook/biff.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

namespace rxdeck::workbook::formula {

enum class Biff
{
    V5,
    V8
};

// The sheets an external-sheet index of a 3-D reference stands for, in workbook order.
// BIFF8: one entry per XTI of the EXTERNSHEET record; BIFF5: one per EXTERNSHEET record.
// A reference to another workbook (or an add-in, or anything not understood) has
// ownWorkbook false; otherWorkbook tells the ones understood as pointing elsewhere, which
// never need adjusting, from those not understood. A deleted sheet has -1 for both sheets.
// BIFF5 3-D references name their sheets themselves; the table there serves names only.
struct ExternSheet
{
    bool ownWorkbook = false;
    bool otherWorkbook = false;
    int firstSheet = -1;
    int lastSheet = -1;
    bool operator==(const ExternSheet&) const = default;
};
using ExternSheets = std::vector<ExternSheet>;

// Reads the external-sheet table from the records of the workbook globals.
using biff::Record;
ExternSheets externSheets(const std::vector<Record>& globals, Biff biff);
// The sheets of the 3-D reference whose sheet part starts at `at` of rgce: an entry of the
// table in BIFF8; in BIFF5 the reference names them itself (a negative index is this
// workbook, a positive one another).
ExternSheet sheets3d(QByteArrayView rgce, qsizetype at, Biff biff, const ExternSheets& externs);

// Rows of a sheet: 16,384 in Excel 5.0, 65,536 in Excel 97.
constexpr int rowCount(Biff biff)
{
    return biff == Biff::V8 ? 65536 : 16384;
}

struct RowRemoval
{
    int sheet = 0; // index of the sheet in workbook order
    int row = 0;   // 0-based sheet row that is removed; rows below move up by one

    // Where a row of the sheet goes; the removed row itself has no place.
    std::optional<int> moved(int r) const
    {
        if (r == row)
            return std::nullopt;
        return r > row ? r - 1 : r;
    }
    // Rows first to last (first <= last) after the removal: moved up, or shrunk by the row
    // where it runs through them; nullopt where they are the removed row alone.
    std::optional<std::array<int, 2>> movedSpan(int first, int last) const
    {
        if (last < row)
            return std::array{first, last};
        if (first > row)
            return std::array{first - 1, last - 1};
        if (first == last)
            return std::nullopt;
        return std::array{first, last - 1};
    }
    // Rows of an area, first and last in stored order, after the removal; a whole column of a
    // sheet of rowCount rows stays whole.
    std::optional<std::array<int, 2>> movedArea(std::array<int, 2> rows, int rowCount) const
    {
        const int low = std::min(rows[0], rows[1]);
        const int high = std::max(rows[0], rows[1]);
        if (low == 0 && high == rowCount - 1)
            return rows;
        const auto span = movedSpan(low, high);
        if (!span || rows[0] != high || low == high)
            return span;
        return std::array{(*span)[1], (*span)[0]};
    }
};

// The body of a record with every formula reference in it adjusted for the removal:
// FORMULA (both record types), ARRAY, SHRFMLA, NAME, and chart BRAI records, in BIFF5 and BIFF8.
// Records of other types come back unchanged. ownSheet is the sheet whose substream holds the
// record
// (-1 for the globals). Returns nullopt, and the caller refuses the removal, where the
// formula cannot be adjusted safely: a reference to the removed row alone, a token not
// understood, a shared or relative form whose target cannot be told. ARRAY, SHRFMLA and
// TABLE records whose cell range lies on the removed row also give nullopt: the caller
// drops them with their cells when the whole range goes, and refuses otherwise. ARRAY and
// TABLE ranges that the removed row cuts through are refused, as spreadsheet programs
// refuse to change part of an array or data table; a SHRFMLA range shrinks.
std::optional<QByteArray> adjustRecord(const Record& record, Biff biff, int ownSheet,
                                       RowRemoval removal, const ExternSheets& externs);

// Adjusts the cce bytes of tokens at pos of body in place, for a formula that applies to the
// rows `cells` (first, last) of sheet ownSheet, as data validation and conditional formats
// do: relative offsets count from each of those cells. False, body unchanged, to refuse.
bool adjustTokens(QByteArray& body, qsizetype pos, qsizetype cce, Biff biff, int ownSheet,
                  RowRemoval removal, const ExternSheets& externs, std::array<int, 2> cells);

} // namespace rxdeck::workbook::formula
