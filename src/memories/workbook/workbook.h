// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QByteArray>
#include <QString>
#include <variant>
#include <vector>

// In-memory form of a legacy .xls workbook: every worksheet with every cell value. Formatting
// and formulas are not part of it; Document keeps them in the file.
namespace rxdeck::workbook {

struct Empty
{
    bool operator==(const Empty&) const = default;
};

// A cell holds nothing, a number or a text. Dates and times read from a file arrive as text
// ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", "HH:MM:SS"). An empty text is stored as an empty cell.
using Cell = std::variant<Empty, double, QString>;

struct Sheet
{
    QString name;
    std::vector<std::vector<Cell>> rows; // rows[r][c]; rows may be ragged
};

struct Workbook
{
    std::vector<Sheet> sheets;

    // The first sheet with exactly this name, or nullptr.
    Sheet* sheet(const QString& name);
    const Sheet* sheet(const QString& name) const;
};

struct ReadResult
{
    std::optional<Workbook> book; // set on success
    QString error;                // a few words for the user when book is empty
};

// Reads a BIFF5 (Excel 5.0/95) or BIFF8 (Excel 97-2003) workbook. Trailing empty cells of a row
// and trailing empty rows of a sheet are dropped. Fails, with a reason such as "not a workbook",
// "damaged workbook" or "password protected", rather than return a workbook with missing or
// garbled cells. Formula cells give their cached results, booleans "TRUE" or "FALSE", error values
// their text, and dates and times the texts described for Cell.
ReadResult read(const QString& path);

struct WriteResult
{
    bool ok = false;
    QString error;
};

// Largest sheet a BIFF8 workbook can hold.
inline constexpr int maxRows = 65536;
inline constexpr int maxColumns = 256;
// Longest text of one cell that is written so that no shared string runs over more than two
// records, which some readers get wrong. Texts of Latin-1 characters only are stored one byte per
// character and may be longer.
inline constexpr int maxTextLength = 8221;
inline constexpr int maxLatin1TextLength = 16444;

// Encodes the workbook as BIFF8 in an OLE2 compound file. Fails (nullopt, and a reason in *error)
// rather than drop anything: no sheets, a sheet name a spreadsheet program refuses (empty, over 31
// characters, one of []:*?/\ or a duplicate), more rows or columns than above, a text over
// maxTextLength (maxLatin1TextLength), or a number that is not finite.
std::optional<QByteArray> encode(const Workbook& book, QString* error = nullptr);

// Writes atomically: the file at path is either the old workbook or the new one, never a
// half-written one.
WriteResult write(const QString& path, const Workbook& book);

} // namespace rxdeck::workbook
