// SPDX-License-Identifier: GPL-3.0-or-later
// Record-level edits: one cell replaced or inserted, one sheet row removed. Everything else in
// the stream stays as it was; sizes and offsets that depend on the edits are recomputed on save.

#include "memories/workbook/biff8.h"
#include "memories/workbook/documentdata.h"
#include "memories/workbook/formularecords.h"
#include "memories/workbook/formularefs.h"
#include "memories/workbook/rowremoval.h"

#include <algorithm>
#include <cmath>
#include <QStringEncoder>

namespace rxdeck::workbook {

using biff::get16;
using biff::put16;
using biff::Record;
namespace type = biff::type;

namespace {

constexpr std::uint16_t defaultCellXf = 15;
// Excel 5.0 sheets have 16,384 rows, Excel 97 sheets 65,536.
constexpr int lastRow(Document::Format format)
{
    return format == Document::Format::Biff8 ? 65535 : 16383;
}
constexpr int lastColumn = 255;
constexpr int maxBiff5Text = 255;
constexpr qsizetype maxRecordBody = 8224;
constexpr std::uint16_t window2 = 0x023E;

bool isFormulaPart(std::uint16_t t)
{
    return t == type::string || t == type::shrFmla || t == type::array || t == type::table ||
           t == type::continued;
}

// One past the records that belong to the cell record at `at`: a formula's STRING, SHRFMLA,
// ARRAY or TABLE record, and CONTINUE records.
std::size_t cellEnd(const std::vector<Record>& records, std::size_t at)
{
    std::size_t end = at + 1;
    if (biff::isFormula(records[at].type))
        while (end < records.size() && isFormulaPart(records[end].type))
            ++end;
    else
        while (end < records.size() && records[end].type == type::continued)
            ++end;
    return end;
}

bool coversColumn(const Record& r, int column)
{
    return r.body.size() >= 6 && get16(r.body, 2) <= column && column <= cells::lastColumn(r);
}

int rowOf(const Record& r)
{
    return get16(r.body, 0);
}

QByteArray cellHeader(int row, int column, std::uint16_t xf)
{
    return biff8::Bytes()
        .u16(static_cast<std::uint16_t>(row))
        .u16(static_cast<std::uint16_t>(column))
        .u16(xf)
        .data();
}

// The XF of one cell of a record.
std::uint16_t xfAt(const Record& r, int column)
{
    const int first = get16(r.body, 2);
    if (r.type == type::mulRk)
        return get16(r.body, 4 + 6 * (column - first));
    if (r.type == type::mulBlank)
        return get16(r.body, 4 + 2 * (column - first));
    return get16(r.body, 4);
}

// The cells of a MULRK or MULBLANK from `from` to `to` (columns, inclusive), as one record.
std::optional<Record> mulPart(const Record& r, int from, int to)
{
    if (from > to)
        return std::nullopt;
    const int first = get16(r.body, 2);
    const int row = rowOf(r);
    const bool rk = r.type == type::mulRk;
    const qsizetype width = rk ? 6 : 2;
    const QByteArray cellsData = r.body.mid(4 + width * (from - first), width * (to - from + 1));
    if (from == to) {
        Record single{rk ? type::rk : type::blank, biff8::Bytes()
                                                       .u16(static_cast<std::uint16_t>(row))
                                                       .u16(static_cast<std::uint16_t>(from))
                                                       .raw(cellsData)
                                                       .data()};
        return single;
    }
    return Record{r.type, biff8::Bytes()
                              .u16(static_cast<std::uint16_t>(row))
                              .u16(static_cast<std::uint16_t>(from))
                              .raw(cellsData)
                              .u16(static_cast<std::uint16_t>(to))
                              .data()};
}

// The SHRFMLA, ARRAY or TABLE record that follows the formula at `at`, if any.
std::optional<std::size_t> formulaCompanion(const std::vector<Record>& records, std::size_t at)
{
    for (std::size_t i = at + 1; i < records.size() && isFormulaPart(records[i].type); ++i)
        if (records[i].type != type::string && records[i].type != type::continued)
            return i;
    return std::nullopt;
}

bool adjustable(std::uint16_t t)
{
    return biff::isFormula(t) || t == type::array || t == type::shrFmla || t == type::table ||
           t == type::name || t == type::brai;
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

bool isRowRecord(const Record& r)
{
    return r.type == type::row && r.body.size() >= 16;
}

// A ROW record for a new row: default height, no formatting.
Record newRowRecord(const std::vector<Record>& records, const std::vector<std::size_t>& level,
                    int row, int column)
{
    std::uint16_t height = 0x00FF;
    for (std::size_t i : level)
        if (records[i].type == type::defaultRowHeight && records[i].body.size() >= 4)
            height = get16(records[i].body, 2);
    return Record{type::row, biff8::Bytes()
                                 .u16(static_cast<std::uint16_t>(row))
                                 .u16(static_cast<std::uint16_t>(column))
                                 .u16(static_cast<std::uint16_t>(column + 1))
                                 .u16(height)
                                 .u16(0)
                                 .u16(0)
                                 .u16(0x0100)
                                 .u16(defaultCellXf)
                                 .data()};
}

// Inserts the ROW record of a new row in row order: into the row block of its 32 rows where the
// sheet has row blocks, else into a new block of its own. Returns its index.
std::size_t insertRowRecord(std::vector<Record>& records, int row, int column)
{
    const std::vector<std::size_t> level = topLevel(records);
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
            const Record& r = records[i];
            if (isRowRecord(r)) {
                key = key.value_or(rowOf(r) / 32);
                firstRow = firstRow.value_or(i);
                if (rowOf(r) < row)
                    lastRowBefore = i;
            } else if (r.type == type::dbCell) {
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
            if (isRowRecord(records[i])) {
                firstRow = firstRow.value_or(i);
                if (rowOf(records[i]) < row)
                    at = i + 1;
            }
        at = at.value_or(*firstRow);
    }
    const auto pos = records.begin() + static_cast<std::ptrdiff_t>(*at);
    if (newBlock)
        records.insert(pos, {newRowRecord(records, level, row, column),
                             Record{type::dbCell, QByteArray(4, '\0')}});
    else
        records.insert(pos, newRowRecord(records, level, row, column));
    return *at;
}

// Where a new cell goes: in row and column order among the cells of its row block (the records
// between the DBCELLs around its ROW record), after the block's ROW records when it has no
// cells, and in a sheet without cells or ROW records after DIMENSIONS.
std::size_t cellPlace(const std::vector<Record>& records, int row, int column,
                      std::optional<std::size_t> rowRecord)
{
    const std::vector<std::size_t> level = topLevel(records);
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
        const Record& r = records[i];
        if (i < from || i >= to || !biff::isCell(r.type) || r.body.size() < 6)
            continue;
        if (std::pair{rowOf(r), static_cast<int>(get16(r.body, 2))} < std::pair{row, column})
            after = cellEnd(records, i);
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
        if (records[i].type == window2)
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
    for (std::size_t i : topLevel(records)) {
        const Record& r = records[i];
        if (isRowRecord(r)) {
            hasRows = true;
            if (rowOf(r) == row)
                rowRecord = i;
        } else if (biff::isCell(r.type) && r.body.size() >= 6 && rowOf(r) == row) {
            rowHasCells = true;
        }
    }
    if (!rowHasCells && !rowRecord && hasRows)
        rowRecord = insertRowRecord(records, row, column);
    const std::size_t at = cellPlace(records, row, column, rowRecord);
    records.insert(records.begin() + static_cast<std::ptrdiff_t>(at), cell);
    for (std::size_t i : topLevel(records)) {
        if (!isRowRecord(records[i]) || rowOf(records[i]) != row)
            continue;
        QByteArray& b = records[i].body;
        if (get16(b, 2) > column)
            put16(b, 2, static_cast<std::uint16_t>(column));
        if (get16(b, 4) < column + 1)
            put16(b, 4, static_cast<std::uint16_t>(column + 1));
    }
}

} // namespace

std::vector<std::size_t> topLevel(const std::vector<Record>& records)
{
    std::vector<std::size_t> out;
    int depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].type == type::bof)
            ++depth;
        else if (records[i].type == type::eof)
            --depth;
        else if (depth == 1)
            out.push_back(i);
    }
    return out;
}

std::vector<formula::Record> asFormulaRecords(const std::vector<Record>& records)
{
    std::vector<formula::Record> out;
    out.reserve(records.size());
    for (const Record& r : records) {
        if (r.type == type::continued && !out.empty())
            out.back().body += r.body;
        else
            out.push_back(formula::Record{r.type, r.body});
    }
    return out;
}

std::optional<std::uint32_t> DocumentData::stringIndex(const QString& text)
{
    if (stringLookup_.isEmpty())
        for (std::size_t i = context_.strings.size(); i-- > 0;)
            if (!formattedStrings_.contains(static_cast<std::uint32_t>(i)))
                stringLookup_.insert(context_.strings[i], static_cast<std::uint32_t>(i));
    std::vector<Record>& globals = subs_.front().records;
    auto sst = std::find_if(globals.begin(), globals.end(),
                            [](const Record& r) { return r.type == type::sst; });
    if (sst == globals.end()) {
        // A workbook without texts yet: the table goes before the end of the globals.
        auto eof = std::find_if(globals.begin(), globals.end(),
                                [](const Record& r) { return r.type == type::eof; });
        const auto at = eof - globals.begin();
        globals.insert(eof, {Record{type::sst, QByteArray(8, '\0')},
                             Record{type::extSst, biff8::Bytes().u16(8).data()}});
        sst = globals.begin() + at;
        sstEndPart_ = 0;
        sstEndOffset_ = 8;
    }
    if (sst->body.size() < 8)
        return std::nullopt;
    // Every text counts as a reference, as a spreadsheet program counts them.
    biff::put32(sst->body, 0, biff::get32(sst->body, 0) + 1);
    if (auto found = stringLookup_.constFind(text); found != stringLookup_.constEnd())
        return found.value();

    // Drop whatever follows the last string the table declares, then append the new one.
    const auto first = static_cast<std::size_t>(sst - globals.begin());
    std::size_t last = first;
    while (last + 1 < globals.size() && globals[last + 1].type == type::continued)
        ++last;
    const std::size_t endPart = first + sstEndPart_;
    if (endPart <= last) {
        globals[endPart].body.truncate(sstEndOffset_);
        globals.erase(globals.begin() + static_cast<std::ptrdiff_t>(endPart) + 1,
                      globals.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        last = endPart;
    }
    const bool wide =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; });
    const qsizetype charSize = wide ? 2 : 1;
    const auto newPart = [&](bool withFlags) {
        globals.insert(
            globals.begin() + static_cast<std::ptrdiff_t>(++last),
            Record{type::continued, withFlags ? QByteArray(1, wide ? '\1' : '\0') : QByteArray()});
    };
    if (maxRecordBody - globals[last].body.size() < 3 + charSize)
        newPart(false);
    biff8::Bytes header;
    header.u16(static_cast<std::uint16_t>(text.size())).u8(wide ? 1 : 0);
    globals[last].body += header.data();
    qsizetype done = 0;
    while (done < text.size()) {
        const qsizetype room = (maxRecordBody - globals[last].body.size()) / charSize;
        if (room == 0) {
            newPart(true);
            continue;
        }
        const qsizetype n = std::min(room, text.size() - done);
        QByteArray& body = globals[last].body;
        for (qsizetype i = done; i < done + n; ++i) {
            const char16_t c = text[i].unicode();
            body.append(static_cast<char>(c & 0xFF));
            if (wide)
                body.append(static_cast<char>(c >> 8));
        }
        done += n;
    }
    sstEndPart_ = last - first;
    sstEndOffset_ = globals[last].body.size();
    const auto index = static_cast<std::uint32_t>(context_.strings.size());
    context_.strings.push_back(text);
    stringLookup_.insert(text, index);
    biff::put32(globals[first].body, 4, index + 1);
    sstChanged_ = true;
    return index;
}

std::optional<std::uint16_t> DocumentData::generalXf(std::uint16_t xf)
{
    constexpr std::size_t maxXfs = 4050; // what Excel 97-2003 accepts
    std::vector<Record>& globals = subs_.front().records;
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
    globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(xfs.back()) + 1,
                   Record{type::xf, body});
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
    for (std::size_t i : topLevel(records)) {
        const Record& r = records[i];
        if (!biff::isCell(r.type) || !coversColumn(r, column))
            continue;
        const int at = rowOf(r);
        const std::uint16_t xf = xfAt(r, column);
        if (at < row && at > 0 && (!above || at > above->first))
            above = std::pair{at, xf};
        if (at > row && (!below || at < below->first))
            below = std::pair{at, xf};
    }
    if (above)
        return above->second;
    if (below)
        return below->second;
    return defaultCellXf;
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
    for (std::size_t i : topLevel(records)) {
        const Record& r = records[i];
        if (!biff::isFormula(r.type) || r.body.size() < 4 || rowOf(r) != anchor->first ||
            get16(r.body, 2) != anchor->second)
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
    if (row < 0 || row > lastRow(format_) || column < 0 || column > lastColumn)
        return QStringLiteral("the cell lies outside the sheet");
    Cell value = given;
    if (const QString* text = std::get_if<QString>(&value); text && text->isEmpty())
        value = Empty{};
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

    Substream& sub = subs_[static_cast<std::size_t>(boundSubstream_[worksheetBound_[sheet]])];
    std::vector<Record>& records = sub.records;
    const std::vector<std::size_t> level = topLevel(records);
    std::vector<std::size_t> covering;
    for (std::size_t i : level)
        if (biff::isCell(records[i].type) && records[i].body.size() >= 6 &&
            rowOf(records[i]) == row && coversColumn(records[i], column))
            covering.push_back(i);
    for (std::size_t i : covering)
        if (biff::isFormula(records[i].type))
            if (std::optional<QString> refused = formulaGuard(records, i, row, column))
                return refused;

    // Where several records hold the cell, readers take the last one (a MULBLANK before the
    // cell's own record), and so does its format.
    std::uint16_t xf =
        covering.empty() ? newCellXf(records, row, column) : xfAt(records[covering.back()], column);
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
            xf = generalXf(xf).value_or(defaultCellXf);
        for (std::uint16_t x = 0; isDate(xf) && x < context_.xfFormats.size(); ++x)
            xf = x;
        shown = context_.numberCell(*number, xf); // what a reader will show
    }
    std::optional<Record> fresh;
    if (const double* number = std::get_if<double>(&value)) {
        fresh = Record{type::number,
                       biff8::Bytes().raw(cellHeader(row, column, xf)).f64(*number).data()};
    } else if (const QString* text = std::get_if<QString>(&value)) {
        if (biff8()) {
            const std::optional<std::uint32_t> index = stringIndex(*text);
            if (!index)
                return QStringLiteral("damaged workbook");
            fresh = Record{type::labelSst,
                           biff8::Bytes().raw(cellHeader(row, column, xf)).u32(*index).data()};
        } else {
            fresh = Record{type::label, biff8::Bytes()
                                            .raw(cellHeader(row, column, xf))
                                            .u16(static_cast<std::uint16_t>(codePageText.size()))
                                            .raw(codePageText)
                                            .data()};
        }
    }

    if (!covering.empty()) {
        // Replace from the last record back, so that earlier indexes stay valid; the first
        // covering record takes the new cell.
        for (std::size_t k = covering.size(); k-- > 0;) {
            const std::size_t at = covering[k];
            const Record old = records[at];
            std::vector<Record> replacement;
            if (old.type == type::mulRk || old.type == type::mulBlank) {
                if (auto left = mulPart(old, get16(old.body, 2), column - 1))
                    replacement.push_back(*left);
                if (k == 0 && fresh)
                    replacement.push_back(*fresh);
                if (auto right = mulPart(old, column + 1, cells::lastColumn(old)))
                    replacement.push_back(*right);
            } else if (k == 0 && fresh) {
                replacement.push_back(*fresh);
            }
            const std::size_t end = cellEnd(records, at);
            records.erase(records.begin() + static_cast<std::ptrdiff_t>(at),
                          records.begin() + static_cast<std::ptrdiff_t>(end));
            records.insert(records.begin() + static_cast<std::ptrdiff_t>(at), replacement.begin(),
                           replacement.end());
        }
    } else if (fresh) {
        insertCell(records, *fresh, row, column);
    } else {
        return std::nullopt; // an empty cell stays empty
    }

    sub.dirty = true;
    edited_ = true;
    std::vector<std::vector<Cell>>& rows = values_.sheets[static_cast<std::size_t>(sheet)].rows;
    if (rows.size() <= static_cast<std::size_t>(row))
        rows.resize(static_cast<std::size_t>(row) + 1);
    std::vector<Cell>& cellsOfRow = rows[static_cast<std::size_t>(row)];
    if (cellsOfRow.size() <= static_cast<std::size_t>(column))
        cellsOfRow.resize(static_cast<std::size_t>(column) + 1);
    cellsOfRow[static_cast<std::size_t>(column)] = shown;
    cells::trim(rows);
    return std::nullopt;
}

std::optional<QString>
DocumentData::adjustFormulas(int sheet, int row, std::vector<std::vector<Record>>& adjusted) const
{
    const formula::Biff version = biff8() ? formula::Biff::V8 : formula::Biff::V5;
    const formula::ExternSheets externs =
        formula::externSheets(asFormulaRecords(subs_.front().records), version);
    const int bound = worksheetBound_[static_cast<std::size_t>(sheet)];
    const auto target = static_cast<std::size_t>(boundSubstream_[static_cast<std::size_t>(bound)]);
    const formula::RowRemoval removal{bound, row};
    const QString refused = QStringLiteral("a formula refers to that row or cannot be adjusted; "
                                           "delete the row in a spreadsheet program");

    adjusted.clear();
    for (std::size_t s = 0; s < subs_.size(); ++s) {
        std::vector<Record> records = subs_[s].records;
        int own = -1;
        for (std::size_t b = 0; b < boundSubstream_.size(); ++b)
            if (static_cast<std::size_t>(boundSubstream_[b]) == s)
                own = static_cast<int>(b);
        int depth = 0;
        bool inRemovedRow = false; // the companions of a formula in the removed row
        for (std::size_t i = 0; i < records.size(); ++i) {
            Record& r = records[i];
            if (r.type == type::bof)
                ++depth;
            else if (r.type == type::eof)
                --depth;
            const bool ownLevel = s == target && depth == 1;
            if (ownLevel && biff::isCell(r.type) && r.body.size() >= 6)
                inRemovedRow = rowOf(r) == row;
            else if (!isFormulaPart(r.type))
                inRemovedRow = false;
            if (!adjustable(r.type))
                continue;
            if (ownLevel && inRemovedRow) {
                // Dropped with the row, unless it is shared with rows that stay.
                if (!biff::isFormula(r.type))
                    if (const auto range = biff::RangeRecord::of(r);
                        range && range->firstRow() != range->lastRow())
                        return QStringLiteral("a shared formula or array starts in that row; "
                                              "delete the row in a spreadsheet program");
                continue;
            }
            if (i + 1 < records.size() && records[i + 1].type == type::continued)
                return refused;
            std::optional<QByteArray> body =
                formula::adjustRecord(r, version, own, removal, externs);
            if (!body)
                return refused;
            r.body = *body;
        }
        if (s > 0 && own >= 0)
            if (std::optional<QString> blocked =
                    rowremoval::adjust(records, rowremoval::Sheet{version, own, removal, &externs}))
                return blocked;
        adjusted.push_back(std::move(records));
    }
    return std::nullopt;
}

std::optional<QString> DocumentData::removeRow(int sheet, int row)
{
    if (sheet < 0 || sheet >= static_cast<int>(worksheetBound_.size()))
        return QStringLiteral("the workbook has no such sheet");
    if (row < 0 || row > lastRow(format_))
        return QStringLiteral("the row lies outside the sheet");
    const auto target = static_cast<std::size_t>(boundSubstream_[static_cast<std::size_t>(
        worksheetBound_[static_cast<std::size_t>(sheet)])]);

    const formula::RowRemoval removal{worksheetBound_[static_cast<std::size_t>(sheet)], row};
    std::vector<std::vector<Record>> adjusted;
    if (std::optional<QString> refused = adjustFormulas(sheet, row, adjusted))
        return refused;

    for (std::size_t s = 0; s < subs_.size(); ++s) {
        // A formula that changed size moves the cells after it: recompute that sheet's blocks.
        subs_[s].dirty = subs_[s].dirty || subs_[s].records.size() != adjusted[s].size();
        for (std::size_t i = 0; i < subs_[s].records.size() && !subs_[s].dirty; ++i)
            subs_[s].dirty = subs_[s].records[i].body.size() != adjusted[s][i].body.size();
        subs_[s].records = std::move(adjusted[s]);
    }
    sstChanged_ = sstChanged_ || subs_.front().dirty; // the string table may have moved
    std::vector<Record>& records = subs_[target].records;
    std::vector<Record> kept;
    kept.reserve(records.size());
    int depth = 0;
    bool dropping = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Record r = std::move(records[i]);
        if (r.type == type::bof)
            ++depth;
        else if (r.type == type::eof)
            --depth;
        if (depth != 1) {
            kept.push_back(std::move(r));
            continue;
        }
        const bool moves = (biff::isCell(r.type) || r.type == type::row) && r.body.size() >= 6;
        if (moves) {
            const std::optional<int> to = removal.moved(rowOf(r));
            dropping = !to;
            if (dropping)
                continue;
            put16(r.body, 0, static_cast<std::uint16_t>(*to));
        } else if (dropping && isFormulaPart(r.type)) {
            continue;
        } else {
            dropping = false;
        }
        if (r.type == type::mergedCells && r.body.size() >= 2) {
            // Merged areas move up with their rows, and lose the removed row.
            biff8::Bytes areas;
            int count = 0;
            const int declared = get16(r.body, 0);
            for (int k = 0; k < declared && 2 + 8 * (k + 1) <= r.body.size(); ++k) {
                const auto rows =
                    removal.movedSpan(get16(r.body, 2 + 8 * k), get16(r.body, 4 + 8 * k));
                if (!rows)
                    continue;
                areas.u16(static_cast<std::uint16_t>((*rows)[0]))
                    .u16(static_cast<std::uint16_t>((*rows)[1]))
                    .raw(r.body.mid(6 + 8 * k, 4));
                ++count;
            }
            if (count == 0)
                continue;
            r.body = biff8::Bytes().u16(static_cast<std::uint16_t>(count)).raw(areas.data()).data();
        }
        kept.push_back(std::move(r));
    }
    records = std::move(kept);

    subs_[target].dirty = true;
    edited_ = true;
    std::vector<std::vector<Cell>>& rows = values_.sheets[static_cast<std::size_t>(sheet)].rows;
    if (static_cast<std::size_t>(row) < rows.size())
        rows.erase(rows.begin() + row);
    cells::trim(rows);
    return std::nullopt;
}

} // namespace rxdeck::workbook
