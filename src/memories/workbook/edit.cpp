// SPDX-License-Identifier: GPL-3.0-or-later
// Record-level edits: one cell replaced or inserted. Everything else in the stream stays as it
// was; sizes and offsets that depend on the edit are recomputed on save.

#include "memories/workbook/biff8.h"
#include "memories/workbook/documentdata.h"
#include "memories/workbook/formularefs.h"
#include "memories/workbook/recordviews.h"

#include <algorithm>
#include <cmath>
#include <QStringEncoder>

namespace rxdeck::workbook {

using biff::get16;
using biff::put16;
using biff::Record;
namespace type = biff::type;

namespace {

constexpr int lastColumn = 255;
constexpr int maxBiff5Text = 255;

biff8::Bytes cellHeader(int row, int column, std::uint16_t xf)
{
    biff8::Bytes b;
    b.u16(static_cast<std::uint16_t>(row)).u16(static_cast<std::uint16_t>(column)).u16(xf);
    return b;
}

// The cells of a MULRK or MULBLANK from `from` to `to` (columns, inclusive), as one record.
std::optional<Record> mulPart(const Record& r, int from, int to)
{
    if (from > to)
        return std::nullopt;
    const biff::CellRecord cells = *biff::CellRecord::of(r);
    const qsizetype width = cells.step();
    biff8::Bytes body;
    body.u16(static_cast<std::uint16_t>(cells.row()))
        .u16(static_cast<std::uint16_t>(from))
        .raw(r.body.mid(4 + width * (from - cells.firstColumn()), width * (to - from + 1)));
    if (from == to)
        return Record{r.type == type::mulRk ? type::rk : type::blank, body.data()};
    return Record{r.type, body.u16(static_cast<std::uint16_t>(to)).data()};
}

// The SHRFMLA, ARRAY or TABLE record that follows the formula at `at`, if any.
std::optional<std::size_t> formulaCompanion(const std::vector<Record>& records, std::size_t at)
{
    for (std::size_t i = at + 1; i < records.size() && biff::isFormulaPart(records[i].type); ++i)
        if (records[i].type != type::string && records[i].type != type::continued)
            return i;
    return std::nullopt;
}

// The EOF that closes the sheet's substream (junk may follow it).
std::size_t sheetEof(const std::vector<Record>& records)
{
    int depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].type == type::bof)
            ++depth;
        else if (records[i].type == type::eof && --depth == 0)
            return i;
    }
    return records.size() - 1;
}

// A ROW record for a new row: default height, no formatting.
Record newRowRecord(const std::vector<Record>& records, int row, int column)
{
    std::uint16_t height = 0x00FF;
    for (std::size_t i : biff::ownRecords(records))
        if (records[i].type == type::defaultRowHeight && records[i].body.size() >= 4)
            height = get16(records[i].body, 2);
    biff8::Bytes b;
    b.u16(static_cast<std::uint16_t>(row)).u16(static_cast<std::uint16_t>(column));
    b.u16(static_cast<std::uint16_t>(column + 1)).u16(height).u32(0); // irwMac, reserved
    b.u16(0x0100).u16(biff8::defaultCellXf);
    return Record{type::row, b.data()};
}

// Inserts the ROW record of a new row in row order: into the row block of its 32 rows where the
// sheet has row blocks, else into a new block of its own. Returns its index.
std::size_t insertRowRecord(std::vector<Record>& records, int row, int column)
{
    const std::vector<std::size_t> level = biff::ownRecords(records);
    std::optional<std::size_t> at;
    bool newBlock = false;
    if (std::any_of(level.begin(), level.end(),
                    [&records](std::size_t i) { return records[i].type == type::dbCell; })) {
        std::optional<std::size_t> afterBlock; // DBCELL of the last block before the row's
        std::optional<std::size_t> firstBlock; // first ROW record of the first block
        std::optional<int> key;                // the block's rows divided by 32
        std::optional<std::size_t> firstRow;
        std::optional<std::size_t> lastRowBefore;
        for (std::size_t i : level) {
            if (const auto r = biff::RowRecord::of(records[i])) {
                key = key.value_or(r->row() / 32);
                firstRow = firstRow.value_or(i);
                if (r->row() < row)
                    lastRowBefore = i;
            } else if (records[i].type == type::dbCell) {
                if (key && *key == row / 32 && !at)
                    at = lastRowBefore ? *lastRowBefore + 1 : *firstRow;
                if (key && *key < row / 32)
                    afterBlock = i;
                if (key && !firstBlock)
                    firstBlock = firstRow;
                key.reset();
                firstRow.reset();
                lastRowBefore.reset();
            }
        }
        if (!at) {
            newBlock = true;
            at = afterBlock ? *afterBlock + 1 : firstBlock.value_or(level.front());
        }
    } else {
        std::optional<std::size_t> firstRow;
        for (std::size_t i : level)
            if (const auto r = biff::RowRecord::of(records[i])) {
                firstRow = firstRow.value_or(i);
                if (r->row() < row)
                    at = i + 1;
            }
        at = at.value_or(*firstRow);
    }
    std::vector<Record> added{newRowRecord(records, row, column)};
    if (newBlock)
        added.push_back(Record{type::dbCell, QByteArray(4, '\0')});
    biff::splice(records, *at, *at, std::move(added));
    return *at;
}

// Where a new cell goes: in row and column order among the cells of its row block (the records
// between the DBCELLs around its ROW record), after the block's ROW records when it has no
// cells, and in a sheet without cells or ROW records after DIMENSIONS.
std::size_t cellPlace(const std::vector<Record>& records, int row, int column,
                      std::optional<std::size_t> rowRecord)
{
    const std::vector<std::size_t> level = biff::ownRecords(records);
    std::size_t from = 0;
    std::size_t to = records.size();
    if (rowRecord) {
        for (std::size_t i : level) {
            if (records[i].type != type::dbCell)
                continue;
            if (i > *rowRecord) {
                to = i;
                break;
            }
            from = i + 1;
        }
    }
    std::optional<std::size_t> after;  // end of the last cell before the new one
    std::optional<std::size_t> before; // the first cell after it
    for (std::size_t i : level) {
        const auto cell = biff::CellRecord::of(records[i]);
        if (i < from || i >= to || !cell)
            continue;
        if (std::pair{cell->row(), cell->firstColumn()} < std::pair{row, column})
            after = biff::cellEnd(records, i);
        else if (!before)
            before = i;
    }
    if (after)
        return *after;
    if (before)
        return *before;
    if (rowRecord) {
        std::size_t at = *rowRecord + 1;
        while (at < to && records[at].type == type::row)
            ++at;
        return at;
    }
    for (std::size_t i : level) {
        if (records[i].type == type::dimensions)
            return i + 1;
        if (records[i].type == type::window2)
            return i;
    }
    return sheetEof(records);
}

// Inserts a cell where no record holds one yet, with a ROW record for a new row where the
// sheet has ROW records, and keeps the ROW record's column span covering it.
void insertCell(std::vector<Record>& records, const Record& cell, int row, int column)
{
    bool rowHasCells = false;
    bool hasRows = false;
    std::optional<std::size_t> rowRecord;
    for (std::size_t i : biff::ownRecords(records)) {
        if (const auto r = biff::RowRecord::of(records[i])) {
            hasRows = true;
            if (r->row() == row)
                rowRecord = i;
        } else if (const auto cell = biff::CellRecord::of(records[i]); cell && cell->row() == row) {
            rowHasCells = true;
        }
    }
    if (!rowHasCells && !rowRecord && hasRows)
        rowRecord = insertRowRecord(records, row, column);
    const std::size_t at = cellPlace(records, row, column, rowRecord);
    biff::splice(records, at, at, {cell});
    for (std::size_t i : biff::ownRecords(records))
        if (const auto r = biff::RowRecord::of(records[i]); r && r->row() == row)
            biff::RowRecord::setColumns(records[i].body, std::min(r->firstColumn(), column),
                                        std::max(r->columnEnd(), column + 1));
}

} // namespace

std::optional<std::uint32_t> DocumentData::stringIndex(const QString& text)
{
    if (stringLookup_.isEmpty())
        for (std::size_t i = context_.strings.size(); i-- > 0;)
            if (!formattedStrings_.contains(static_cast<std::uint32_t>(i)))
                stringLookup_.insert(context_.strings[i], static_cast<std::uint32_t>(i));
    std::vector<Record>& globals = subs_.front().edit();
    const auto typeAt = [&globals](std::uint16_t t) {
        return static_cast<std::size_t>(std::find_if(globals.begin(), globals.end(),
                                                     [t](const Record& r) { return r.type == t; }) -
                                        globals.begin());
    };
    std::size_t first = typeAt(type::sst);
    if (first == globals.size()) {
        // A workbook without texts yet: the table goes before the end of the globals.
        first = typeAt(type::eof);
        biff::splice(globals, first, first,
                     {Record{type::sst, QByteArray(8, '\0')},
                      Record{type::extSst, biff8::Bytes().u16(8).data()}});
        sstEndPart_ = 0;
        sstEndOffset_ = 8;
    }
    QByteArray& header = globals[first].body;
    if (header.size() < 8)
        return std::nullopt;
    // Every text counts as a reference, as a spreadsheet program counts them.
    biff::put32(header, 0, biff::get32(header, 0) + 1);
    if (auto found = stringLookup_.constFind(text); found != stringLookup_.constEnd())
        return found.value();

    // Whatever follows the last string the table declares is dropped; the new one goes after it.
    std::size_t end = first + 1;
    while (end < globals.size() && globals[end].type == type::continued)
        ++end;
    std::vector<QByteArray> parts;
    for (std::size_t k = first; k < end && k <= first + sstEndPart_; ++k)
        parts.push_back(std::move(globals[k].body));
    if (first + sstEndPart_ < end)
        parts.back().truncate(sstEndOffset_);
    biff8::appendSharedString(parts, text);
    const auto index = static_cast<std::uint32_t>(context_.strings.size());
    biff::put32(parts.front(), 4, index + 1);
    sstEndPart_ = parts.size() - 1;
    sstEndOffset_ = parts.back().size();
    std::vector<Record> records;
    for (QByteArray& part : parts)
        records.push_back(Record{records.empty() ? type::sst : type::continued, std::move(part)});
    biff::splice(globals, first, end, std::move(records));
    context_.strings.push_back(text);
    stringLookup_.insert(text, index);
    sstChanged_ = true;
    return index;
}

std::optional<std::uint16_t> DocumentData::generalXf(std::uint16_t xf)
{
    constexpr std::size_t maxXfs = 4050; // what Excel 97-2003 accepts
    const std::vector<Record>& globals = subs_.front().records();
    std::vector<std::size_t> xfs;
    for (std::size_t i = 0; i < globals.size(); ++i)
        if (globals[i].type == type::xf)
            xfs.push_back(i);
    if (xf >= xfs.size() || xfs.size() != context_.xfFormats.size() ||
        globals[xfs[xf]].body.size() < 4)
        return std::nullopt;
    QByteArray body = globals[xfs[xf]].body;
    put16(body, 2, 0);
    for (std::size_t k = 0; k < xfs.size(); ++k)
        if (globals[xfs[k]].body == body)
            return static_cast<std::uint16_t>(k);
    if (xfs.size() >= maxXfs)
        return std::nullopt;
    biff::splice(subs_.front().edit(), xfs.back() + 1, xfs.back() + 1, {Record{type::xf, body}});
    context_.xfFormats.push_back(0);
    subs_.front().dirty = true;
    sstChanged_ = true; // the string table moved with the globals
    return static_cast<std::uint16_t>(xfs.size());
}

std::uint16_t DocumentData::newCellXf(const std::vector<Record>& records, int row, int column) const
{
    // The nearest cell of the column above (under the header row), else below.
    std::optional<std::pair<int, std::uint16_t>> above;
    std::optional<std::pair<int, std::uint16_t>> below;
    for (std::size_t i : biff::ownRecords(records)) {
        const auto cell = biff::CellRecord::of(records[i]);
        if (!cell || !cell->covers(column))
            continue;
        const int at = cell->row();
        const std::uint16_t xf = cell->xf(column);
        if (at < row && at > 0 && (!above || at > above->first))
            above = std::pair{at, xf};
        if (at > row && (!below || at < below->first))
            below = std::pair{at, xf};
    }
    if (above)
        return above->second;
    if (below)
        return below->second;
    return biff8::defaultCellXf;
}

std::optional<QString> DocumentData::formulaGuard(const std::vector<Record>& records,
                                                  std::size_t at, int row, int column) const
{
    const auto view = biff::FormulaRecord::of(records[at]);
    const std::optional<std::pair<int, int>> anchor = view ? view->anchor() : std::nullopt;
    if (!anchor)
        return std::nullopt;
    if (*anchor == std::pair{row, column}) {
        const std::optional<std::size_t> companion = formulaCompanion(records, at);
        if (!companion)
            return std::nullopt;
        const auto range = biff::RangeRecord::of(records[*companion]);
        if (range &&
            (range->firstRow() != range->lastRow() || range->firstColumn() != range->lastColumn()))
            return QStringLiteral("the cell holds the formula that other cells share; change it "
                                  "in a spreadsheet program");
        return std::nullopt;
    }
    for (std::size_t i : biff::ownRecords(records)) {
        const auto f = biff::FormulaRecord::of(records[i]);
        if (!f || std::pair{f->row(), f->column()} != *anchor)
            continue;
        const std::optional<std::size_t> companion = formulaCompanion(records, i);
        if (companion && records[*companion].type != type::shrFmla)
            return QStringLiteral("the cell is part of an array formula or data table; change it "
                                  "in a spreadsheet program");
    }
    return std::nullopt;
}

std::optional<QString> DocumentData::setCell(int sheet, int row, int column, const Cell& given)
{
    if (sheet < 0 || sheet >= static_cast<int>(worksheetBound_.size()))
        return QStringLiteral("the workbook has no such sheet");
    if (row < 0 || row >= formula::rowCount(version()) || column < 0 || column > lastColumn)
        return QStringLiteral("the cell lies outside the sheet");
    const Cell value = cells::isBlank(given) ? Cell(Empty{}) : given;
    if (const double* number = std::get_if<double>(&value); number && !std::isfinite(*number))
        return QStringLiteral("the number is not finite");

    QByteArray codePageText;
    if (const QString* text = std::get_if<QString>(&value)) {
        if (biff8()) {
            if (!biff8::fitsInCell(*text))
                return QStringLiteral("the text is longer than a cell holds");
        } else {
            QStringEncoder encoder(context_.codec.constData());
            codePageText = encoder.encode(*text);
            if (!encoder.isValid() || encoder.hasError())
                return QStringLiteral("this Excel 5.0 workbook stores texts in the %1 character "
                                      "set, which has no place for some characters of \"%2\"")
                    .arg(QString::fromLatin1(context_.codec), *text);
            if (codePageText.size() > maxBiff5Text)
                return QStringLiteral("an Excel 5.0 workbook holds at most %1 characters in a "
                                      "cell")
                    .arg(maxBiff5Text);
        }
    }

    Substream& sub = subs_[substreamOf(sheet)];
    const std::vector<Record>& records = sub.records();
    const std::vector<std::size_t> level = biff::ownRecords(records);
    std::vector<std::size_t> covering;
    for (std::size_t i : level)
        if (const auto cell = biff::CellRecord::of(records[i]);
            cell && cell->row() == row && cell->covers(column))
            covering.push_back(i);
    for (std::size_t i : covering)
        if (biff::isFormula(records[i].type))
            if (std::optional<QString> refused = formulaGuard(records, i, row, column))
                return refused;

    // Where several records hold the cell, readers take the last one (a MULBLANK before the
    // cell's own record), and so does its format.
    std::uint16_t xf = covering.empty()
                           ? newCellXf(records, row, column)
                           : biff::CellRecord::of(records[covering.back()])->xf(column);
    Cell shown = value;
    if (const double* number = std::get_if<double>(&value)) {
        // A number in a date cell would read back as a date: such a cell keeps its font,
        // fill and borders with the general number format, as a spreadsheet program does;
        // failing that it gets the default format, or the first XF that shows numbers.
        const auto isDate = [this](std::uint16_t x) {
            const biff::DateKind kind = context_.dateKind(x);
            return kind.date || kind.time;
        };
        if (isDate(xf))
            xf = generalXf(xf).value_or(biff8::defaultCellXf);
        for (std::uint16_t x = 0; isDate(xf) && x < context_.xfFormats.size(); ++x)
            xf = x;
        shown = context_.shown(*number, xf); // what a reader will show
    }
    std::optional<Record> fresh;
    biff8::Bytes body = cellHeader(row, column, xf);
    if (const double* number = std::get_if<double>(&value)) {
        fresh = Record{type::number, body.f64(*number).data()};
    } else if (const QString* text = std::get_if<QString>(&value); text && biff8()) {
        const std::optional<std::uint32_t> index = stringIndex(*text);
        if (!index)
            return QStringLiteral("damaged workbook");
        fresh = Record{type::labelSst, body.u32(*index).data()};
    } else if (text) {
        body.u16(static_cast<std::uint16_t>(codePageText.size())).raw(codePageText);
        fresh = Record{type::label, body.data()};
    }

    if (!covering.empty()) {
        // Replace from the last record back, so that earlier indexes stay valid; the first
        // covering record takes the new cell.
        std::vector<Record>& changed = sub.edit();
        for (std::size_t k = covering.size(); k-- > 0;) {
            const std::size_t at = covering[k];
            const Record old = changed[at];
            std::vector<Record> replacement;
            if (old.type == type::mulRk || old.type == type::mulBlank) {
                if (auto left = mulPart(old, get16(old.body, 2), column - 1))
                    replacement.push_back(*left);
                if (k == 0 && fresh)
                    replacement.push_back(*fresh);
                if (auto right = mulPart(old, column + 1, biff::CellRecord::of(old)->lastColumn()))
                    replacement.push_back(*right);
            } else if (k == 0 && fresh) {
                replacement.push_back(*fresh);
            }
            biff::splice(changed, at, biff::cellEnd(changed, at), std::move(replacement));
        }
    } else if (fresh) {
        insertCell(sub.edit(), *fresh, row, column);
    } else {
        return std::nullopt; // an empty cell stays empty
    }

    sub.dirty = true;
    edited_ = true;
    std::vector<std::vector<Cell>>& rows = values_.sheets[static_cast<std::size_t>(sheet)].rows;
    cells::put(rows, row, column, shown);
    cells::trim(rows);
    recalculateAfterSet(sheet, row, column);
    return std::nullopt;
}

} // namespace rxdeck::workbook
