// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memories/workbook/workbook.h"

#include <memory>
#include <optional>
#include <QByteArray>
#include <QString>

namespace rxdeck::workbook {

class DocumentData;

// A .xls workbook read record by record, so that saving it changes only what was edited.
// Every record of the workbook stream that no edit touches (formats, fonts, styles, column
// widths, names, other sheets, formulas with their cached results, charts, records not
// understood) stays in place and in order, and every other stream of the compound file
// (summary information, macros) is written back byte for byte. A BIFF5 workbook stays BIFF5.
//
// A value type: copies are independent; copying is cheap until one of them is edited.
class Document
{
public:
    enum class Format
    {
        Biff5, // Excel 5.0/95: texts in the workbook's code page
        Biff8, // Excel 97-2003: texts in the shared-string table
    };

    // Defined below the class: it holds a Document.
    struct ParseResult;

    // An empty BIFF8 workbook with no sheets.
    Document();
    ~Document();
    Document(const Document&);
    Document& operator=(const Document&);
    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;

    // Larger files are refused; a memory workbook is a few kilobytes.
    static constexpr qsizetype maxFileSize = qsizetype{256} * 1024 * 1024;

    // Reads a whole .xls file. Costs what the file holds, not what its records declare.
    static ParseResult parse(const QByteArray& file);
    // A new BIFF8 workbook holding the given sheets, encoded as encode() does.
    static std::optional<Document> create(const Workbook& book, QString* error = nullptr);

    Format format() const;

    // Every sheet's cell values, in sheet order. Formula cells hold their cached result;
    // booleans read "TRUE" or "FALSE", error values their text ("#DIV/0!"), dates and
    // times the texts described for Cell. Trailing empty cells and rows are dropped.
    // Reflects every edit made so far.
    const Workbook& values() const;

    // False for a formula cell whose result in values() is not current: it depends on an
    // edited cell and cannot be evaluated here (the file asks spreadsheet programs to
    // recalculate it). Other formulas that depend on edited cells show their new results.
    bool isCurrent(int sheet, int row, int column) const;

    // Whether the sheet is protected: spreadsheet programs then take no rows added or removed,
    // and no typing into its locked cells.
    bool isProtected(int sheet) const;
    // Whether the cell may not be typed into: the sheet is protected and the cell's format
    // (for an empty cell its row's or column's) is locked, as it is unless it says otherwise.
    bool isLocked(int sheet, int row, int column) const;

    // Sets one cell of sheet (index into values().sheets); Empty removes the cell.
    // A formula cell is replaced by the value, as typing over it in a spreadsheet does.
    // Fails with a reason for the user, changing nothing, when the value cannot be stored:
    // a text the code page of a BIFF5 workbook cannot hold, a text too long, a row or
    // column outside the sheet's limits, a number that is not finite.
    std::optional<QString> setCell(int sheet, int row, int column, const Cell& value);

    // Removes a whole sheet row and moves the rows below it up one, adjusting every
    // formula reference in the workbook (this sheet, other sheets, names, charts, data
    // validation, conditional formats) that points at moved cells, and the hyperlinks,
    // comments, page breaks, merged areas and drawing anchors of the sheet, as a spreadsheet
    // program does. Fails with a reason for the user that names what blocks it, changing
    // nothing, where that cannot be done safely (a formula that refers to the removed row
    // itself, a comment or an object lying within the row, a control linked to cells,
    // structures not followed, tokens not understood).
    std::optional<QString> removeRow(int sheet, int row);

    // The whole file with the edits applied. Fails with a reason only where the edited
    // workbook cannot be encoded.
    std::optional<QByteArray> save(QString* error = nullptr) const;

private:
    std::shared_ptr<const DocumentData> data_;
};

struct Document::ParseResult
{
    std::optional<Document> document; // set on success
    QString error; // a few words for the user otherwise: "not a workbook", "damaged workbook"
};

} // namespace rxdeck::workbook
