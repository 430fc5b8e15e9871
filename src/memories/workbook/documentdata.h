// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a Document holds: the workbook stream as records, grouped by substream, with what the
// reader learnt from the globals. Internal to the workbook codec.

#include "memories/workbook/biff.h"
#include "memories/workbook/cells.h"
#include "memories/workbook/document.h"
#include "memories/workbook/evaluate.h"

#include <memory>
#include <optional>
#include <QHash>
#include <QSet>
#include <variant>
#include <vector>

namespace rxdeck::workbook {

// The records from one top-level BOF up to the next (the globals, or one sheet with any charts
// embedded in it). Copies share the records until one of them changes them: an edit copies the
// document, and a sheet of ten thousand rows is costly to copy.
class Substream
{
public:
    explicit Substream(qsizetype originalOffset)
        : originalOffset(originalOffset), records_(std::make_shared<std::vector<biff::Record>>())
    {
    }

    const std::vector<biff::Record>& records() const { return *records_; }
    // The records to change: this copy's own, taken from the others on the first change. A
    // copy that holds the only reference is the only one that can reach them.
    std::vector<biff::Record>& edit()
    {
        if (records_.use_count() > 1)
            records_ = std::make_shared<std::vector<biff::Record>>(*records_);
        return *records_;
    }
    void replace(std::vector<biff::Record> records)
    {
        records_ = std::make_shared<std::vector<biff::Record>>(std::move(records));
    }

    qsizetype originalOffset = 0; // stream position of its BOF as read
    bool dirty = false;           // cells or rows changed: sizes and offsets are recomputed

private:
    std::shared_ptr<std::vector<biff::Record>> records_;
};

// The workbook as records and values. Every edit keeps the two in step: values() is what the
// records say, and stream() lays the records out with every size and position recomputed.
class DocumentData
{
public:
    // The document in a file, or why it cannot be read.
    static std::variant<std::shared_ptr<DocumentData>, QString> parse(const QByteArray& file);

    Document::Format format() const { return format_; }
    const Workbook& values() const { return values_; }
    bool isProtected(int sheet) const;
    bool isLocked(int sheet, int row, int column) const;
    bool isCurrent(int sheet, int row, int column) const;

    // Edits that change nothing where they fail, and bring formula results up to date.
    std::optional<QString> setCell(int sheet, int row, int column, const Cell& value);
    std::optional<QString> removeRow(int sheet, int row);

    // The workbook stream with every position and size that depends on the edits recomputed.
    QByteArray stream() const;
    // The whole file: as read where nothing was edited.
    std::optional<QByteArray> save(QString* error) const;

private:
    friend class Recalculation;

    // Formula results (recalc.cpp): after an edit, the formulas that depend on the changed
    // cells get new cached results, or are marked for recalculation where they cannot be
    // evaluated here. On reading, formulas stored without a result are evaluated.
    void recalculateAfterSet(int sheet, int row, int column);
    void recalculateAfterRemoval(int sheet, int row);
    void evaluateUncached();
    void recalculate(const std::vector<formula::Area>& changed);
    // Whether the sheet is protected, and which of its cells are then left open.
    void readProtection(int sheet, const std::vector<biff::Record>& records,
                        const std::vector<bool>& xfLocked);
    // The BOUNDSHEET index and the substream of a sheet of values.
    int boundOf(int sheet) const { return worksheetBound_[static_cast<std::size_t>(sheet)]; }
    std::size_t substreamOf(int sheet) const
    {
        return boundSubstream_[static_cast<std::size_t>(boundOf(sheet))];
    }
    bool biff8() const { return format_ == Document::Format::Biff8; }
    formula::Biff version() const { return biff8() ? formula::Biff::V8 : formula::Biff::V5; }
    std::optional<std::uint32_t> stringIndex(const QString& text);
    // An XF like xf with the general number format, added to the globals where none is.
    std::optional<std::uint16_t> generalXf(std::uint16_t xf);
    std::uint16_t newCellXf(const std::vector<biff::Record>& records, int row, int column) const;
    std::optional<QString> formulaGuard(const std::vector<biff::Record>& records, std::size_t at,
                                        int row, int column) const;
    std::optional<QString> adjustFormulas(int sheet, int row,
                                          std::vector<std::vector<biff::Record>>& adjusted) const;

    Document::Format format_ = Document::Format::Biff8;
    QByteArray file_; // the file as read, or as created
    QByteArray streamName_ = "Workbook";
    bool edited_ = false;
    std::vector<Substream> subs_;             // subs_[0] holds the globals
    QByteArray tail_;                         // bytes after the last record
    std::vector<std::size_t> boundSubstream_; // per BOUNDSHEET record: the substream of that sheet
    std::vector<int> worksheetBound_;         // per sheet of values: its BOUNDSHEET index
    cells::Context context_;
    Workbook values_;
    // Shared strings with rich-text runs (bold, italic words): typed text never reuses them.
    QSet<std::uint32_t> formattedStrings_;
    // Per sheet of values: whether it is protected. On protected sheets, whether each cell
    // with a record is locked, and the formats empty cells take: their row's where it has one,
    // else their column's. Keys as cells::cellKey() makes them.
    std::vector<bool> protected_;
    QHash<quint64, bool> cellLocked_;
    QHash<quint64, bool> rowLocked_;    // column 0xFF stands for the whole row
    QHash<quint64, bool> columnLocked_; // row 0 stands for the whole column
    // Formula cells (sheet of values, row, column) whose shown result is not current.
    QSet<quint64> stale_;
    // Shared by the copies edits make: they compile mostly the same formulas.
    std::shared_ptr<formula::CompileCache> compiled_ = std::make_shared<formula::CompileCache>();

    QHash<QString, std::uint32_t> stringLookup_; // built on the first text written
    // Where the last string of the shared-string table ends: part (0 the SST record, then its
    // CONTINUE records) and offset in that part's body.
    std::size_t sstEndPart_ = 0;
    qsizetype sstEndOffset_ = 0;
    bool sstChanged_ = false;
};

} // namespace rxdeck::workbook
