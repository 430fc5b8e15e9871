// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Decoding the cell records of a worksheet into values: numbers, texts (shared strings, code-page
// texts), booleans, errors, formula results and dates. Internal to the workbook codec.

#include "memories/workbook/biff.h"
#include "memories/workbook/workbook.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <QHash>
#include <variant>
#include <vector>

namespace rxdeck::workbook::cells {

struct ErrorValue
{
    std::uint8_t code = 0; // 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!, 0x24 #NUM!, ...
    bool operator==(const ErrorValue&) const = default;
};

// A cell's value as the file holds it, before it is shown: what formulas compute with.
using Value = std::variant<Empty, double, QString, bool, ErrorValue>;

// What the globals of a workbook tell about its cells.
struct Context
{
    bool biff8 = true;
    QByteArray codec = "windows-1252"; // BIFF5 texts
    bool date1904 = false;
    std::vector<std::uint16_t> xfFormats;             // number format of every XF
    QHash<std::uint16_t, biff::DateKind> dateFormats; // custom formats that show dates or times
    std::vector<QString> strings;                     // the shared-string table

    biff::DateKind dateKind(std::uint16_t xf) const;
    // What a reader shows for a value in a cell of that XF: a number or a date text, "TRUE" or
    // "FALSE", an error's text.
    Cell shown(const Value& value, std::uint16_t xf) const;
    QString decode(const QByteArray& bytes) const;
};

// The cells one record gives values to, from column `column` on.
struct Decoded
{
    int row = 0;
    int column = 0;
    std::vector<Value> values;
};

// One number for a cell of a sheet, as a hash key.
constexpr quint64 cellKey(int sheet, int row, int column)
{
    return (static_cast<quint64>(static_cast<std::uint32_t>(sheet)) << 32) |
           (static_cast<quint64>(row) << 8) | static_cast<quint64>(column & 0xFF);
}

// Sets rows[row][column], growing the rows as needed.
template <typename T> void put(std::vector<std::vector<T>>& rows, int row, int column, T value)
{
    if (rows.size() <= static_cast<std::size_t>(row))
        rows.resize(static_cast<std::size_t>(row) + 1);
    std::vector<T>& cells = rows[static_cast<std::size_t>(row)];
    if (cells.size() <= static_cast<std::size_t>(column))
        cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)] = std::move(value);
}

// Decodes one cell record; `parts` is its body and the bodies of the CONTINUE records after it.
// nullopt for a record that does not hold what it claims.
std::optional<Decoded> decode(const biff::Record& record, const std::vector<QByteArrayView>& parts,
                              const Context& context);
// The text of a STRING record (a formula's text result).
std::optional<QString> formulaString(const std::vector<QByteArrayView>& parts,
                                     const Context& context);

// Walks the cell records of a worksheet in order, those of charts embedded in it skipped:
// onCell(record, parts) for each, parts being its body and those of its CONTINUE records;
// onText(row, column, parts) for a STRING record holding the text result of the formula just
// before it. Stops with false where a visitor returns false.
using CellVisitor = std::function<bool(const biff::Record&, const std::vector<QByteArrayView>&)>;
using TextVisitor = std::function<bool(int row, int column, const std::vector<QByteArrayView>&)>;
bool forEachCell(const std::vector<biff::Record>& records, const CellVisitor& onCell,
                 const TextVisitor& onText);

// Reads every cell of a worksheet substream (nested chart substreams skipped). Fails on a
// record that is damaged. Trailing empty cells and rows are dropped.
std::optional<std::vector<std::vector<Cell>>> readSheet(const std::vector<biff::Record>& records,
                                                        const Context& context);

// An empty cell, or an empty text, which is stored as one.
bool isBlank(const Cell& cell);

// Drops trailing empty cells and rows; an empty text is an empty cell.
void trim(std::vector<std::vector<Cell>>& rows);

} // namespace rxdeck::workbook::cells
