// SPDX-License-Identifier: GPL-3.0-or-later
// Moves the row numbers of the structures a sheet keeps beside its cells when one of its rows
// is removed, as a spreadsheet program does: ranges below the row move up one, ranges the row
// cuts through shrink by it, ranges wholly inside it go with it. Whatever cannot be adjusted
// safely refuses the removal with the name of the structure.

#include "memories/workbook/rowremoval.h"

#include "memories/workbook/recordviews.h"

#include <algorithm>
#include <array>
#include <map>

namespace rxdeck::workbook::rowremoval {

using biff::get16;
using biff::get32;
using biff::put16;
using biff::Record;
namespace type = biff::type;

namespace {

constexpr std::uint16_t clientAnchor = 0xF010;
// Placement in a client anchor's flags: the shape moves with its cells but keeps its size, or
// keeps its place and size on the sheet whatever happens to the rows.
constexpr int keepsSize = 2;
constexpr int keepsPlace = 3;

// Records that tie things to rows in ways not followed here, with what the user knows them as.
const std::map<std::uint16_t, const char*> blocking{
    {0x00AF, "the sheet has scenarios"},                      // SCENARIO
    {0x00B0, "the sheet holds a pivot table"},                // SXVIEW
    {0x015F, "the sheet has label ranges"},                   // LABELRANGES
    {0x0868, "the sheet has protected ranges or smart tags"}, // FEAT
    {0x0872, "the sheet holds a table"},                      // FEAT11
    {0x0875, "the sheet holds a table"},                      // FEAT12
    {0x0877, "the sheet holds a table"},                      // LIST12
    {0x087E, "the sheet has a filter of a newer Excel"},      // AUTOFILTER12
    {type::condFmt12, "the sheet has conditional formats of a newer Excel"},
    {type::cf12, "the sheet has conditional formats of a newer Excel"},
};

// A point down a sheet as drawing anchors give it: a row, and how far into it in 1/256 of its
// height.
struct RowPoint
{
    int row = 0;
    int dy = 0;
};

// Where such points lie, worked out from the heights of the sheet's rows: a shape that keeps
// its size or its place when a row is removed needs them.
class RowHeights
{
public:
    // From a sheet substream's own ROW and DEFAULTROWHEIGHT records.
    RowHeights(const std::vector<Record>& records, int rowCount) : rowCount_(rowCount)
    {
        for (const std::size_t i : biff::ownRecords(records)) {
            const Record& r = records[i];
            if (r.type == type::defaultRowHeight && r.body.size() >= 4)
                default_ = (get16(r.body, 0) & 0x0002) != 0 ? 0 : get16(r.body, 2) & 0x7FFF;
            else if (const auto row = biff::RowRecord::of(r))
                heights_[row->row()] = row->height();
        }
    }

    // In twips; a hidden row has none.
    int height(int row) const
    {
        const auto found = heights_.find(row);
        return found == heights_.end() ? default_ : found->second;
    }

    // From the top of the sheet, in 1/256 twips.
    std::int64_t offset(RowPoint p) const
    {
        std::int64_t twips = std::int64_t(default_) * p.row;
        for (auto it = heights_.begin(); it != heights_.end() && it->first < p.row; ++it)
            twips += it->second - default_;
        return 256 * twips + std::int64_t(p.dy) * height(p.row);
    }

    // The point at that offset once row `removed` has gone and the rows below it moved up.
    RowPoint afterRemoval(std::int64_t offset, int removed) const
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

private:
    std::map<int, int> heights_; // rows whose ROW record gives their height
    int default_ = 255;          // what Excel uses without a DEFAULTROWHEIGHT record
    int rowCount_;
};

QString refusal(const char* what)
{
    return QString::fromLatin1(what) + QStringLiteral("; delete the row in a spreadsheet program");
}

using Rows = std::array<int, 2>; // first and last

// A list of cell ranges (Ref8U: rwFirst rwLast colFirst colLast) as it is stored.
struct RangeList
{
    std::vector<std::array<std::uint16_t, 4>> ranges;
    qsizetype end = 0; // one past the list in the body

    std::optional<Rows> bound() const
    {
        if (ranges.empty())
            return std::nullopt;
        Rows out{ranges.front()[0], ranges.front()[1]};
        for (const auto& r : ranges) {
            out[0] = std::min<int>(out[0], r[0]);
            out[1] = std::max<int>(out[1], r[1]);
        }
        return out;
    }

    QByteArray bytes() const
    {
        QByteArray out(2 + 8 * static_cast<qsizetype>(ranges.size()), '\0');
        put16(out, 0, static_cast<std::uint16_t>(ranges.size()));
        for (std::size_t k = 0; k < ranges.size(); ++k)
            for (std::size_t f = 0; f < 4; ++f)
                put16(out, 2 + 8 * static_cast<qsizetype>(k) + 2 * static_cast<qsizetype>(f),
                      ranges[k][f]);
        return out;
    }
};

// The count and ranges at pos.
std::optional<RangeList> readRanges(const QByteArray& body, qsizetype pos)
{
    if (pos + 2 > body.size())
        return std::nullopt;
    const int count = get16(body, pos);
    RangeList list;
    list.end = pos + 2 + 8 * qsizetype(count);
    if (list.end > body.size())
        return std::nullopt;
    for (int k = 0; k < count; ++k) {
        const qsizetype at = pos + 2 + 8 * qsizetype(k);
        list.ranges.push_back(
            {get16(body, at), get16(body, at + 2), get16(body, at + 4), get16(body, at + 6)});
    }
    return list;
}

// Past an XLUnicodeString (16-bit count, flags, characters) at pos.
std::optional<qsizetype> skipString(const QByteArray& body, qsizetype pos)
{
    if (pos + 3 > body.size())
        return std::nullopt;
    const qsizetype end = pos + 3 + qsizetype(get16(body, pos)) * ((body[pos + 2] & 1) ? 2 : 1);
    if (end > body.size())
        return std::nullopt;
    return end;
}

class SheetAdjuster
{
public:
    SheetAdjuster(std::vector<Record>& records, const Sheet& sheet)
        : records_(records), sheet_(sheet), removed_(sheet.removal.row),
          target_(sheet.ownSheet == sheet.removal.sheet), rowCount_(formula::rowCount(sheet.biff))
    {
        if (target_)
            heights_.emplace(records, rowCount_);
    }

    std::optional<QString> run()
    {
        std::vector<Record> out;
        out.reserve(records_.size());
        biff::Nesting nesting;
        for (std::size_t i = 0; i < records_.size(); ++i) {
            Record r = records_[i];
            if (!nesting.own(r)) {
                out.push_back(std::move(r));
                continue;
            }
            std::optional<QString> refused;
            bool keep = true;
            switch (r.type) {
            case type::dv:
                refused = validation(r, keep);
                break;
            case type::condFmt:
                refused = conditionalFormat(r, keep, i);
                break;
            case type::cf:
                refused = conditionRule(r, keep);
                break;
            default:
                if (target_)
                    refused = onTarget(r, keep, i);
                break;
            }
            if (refused)
                return refused;
            if (keep)
                out.push_back(std::move(r));
        }
        // Extensions of conditional formats name the range of the format they extend.
        for (std::size_t i = 0; target_ && i < out.size(); ++i) {
            Record& r = out[i];
            if (r.type != type::cfEx)
                continue;
            if (r.body.size() < 18)
                return refusal("the sheet has conditional formats that cannot be read");
            const auto found = formats_.find(get16(r.body, 16));
            if (!(found != formats_.end() ? putRows(r.body, 4, found->second)
                                          : moveRows(r.body, 4)))
                out.erase(out.begin() + static_cast<std::ptrdiff_t>(i--));
        }
        if (droppedValidations_ > 0 && !dropCountedValidations(out))
            return refusal("the sheet has data validation that cannot be read");
        records_ = std::move(out);
        return std::nullopt;
    }

private:
    bool biff8() const { return sheet_.biff == formula::Biff::V8; }

    // Stores rows at pos (first, last); false where there are none.
    static bool putRows(QByteArray& body, qsizetype pos, std::optional<Rows> rows)
    {
        if (rows) {
            put16(body, pos, static_cast<std::uint16_t>((*rows)[0]));
            put16(body, pos + 2, static_cast<std::uint16_t>((*rows)[1]));
        }
        return rows.has_value();
    }
    // Moves the rows stored at pos; false where they go with the removed row.
    bool moveRows(QByteArray& body, qsizetype pos) const
    {
        return putRows(
            body, pos,
            sheet_.removal.movedArea({get16(body, pos), get16(body, pos + 2)}, rowCount_));
    }

    bool tokens(QByteArray& body, qsizetype pos, qsizetype cce, Rows cells) const
    {
        return formula::adjustTokens(body, pos, cce, sheet_.biff, sheet_.ownSheet, sheet_.removal,
                                     *sheet_.externs, cells);
    }

    // Moves the ranges of a list; false where all of them go with the row.
    bool moveRanges(RangeList& list) const
    {
        std::vector<std::array<std::uint16_t, 4>> kept;
        for (auto range : list.ranges) {
            const std::optional<Rows> rows =
                sheet_.removal.movedArea({range[0], range[1]}, rowCount_);
            if (!rows)
                continue;
            range[0] = static_cast<std::uint16_t>((*rows)[0]);
            range[1] = static_cast<std::uint16_t>((*rows)[1]);
            kept.push_back(range);
        }
        list.ranges = std::move(kept);
        return !list.ranges.empty();
    }

    // DV: flags(4), four texts, cce1 unused(2) formula1, cce2 unused(2) formula2, ranges.
    std::optional<QString> validation(Record& r, bool& keep)
    {
        const QString broken = refusal("the sheet has data validation that cannot be read");
        std::optional<qsizetype> pos = 4;
        for (int k = 0; k < 4 && pos; ++k)
            pos = skipString(r.body, *pos);
        if (!pos || *pos + 4 > r.body.size())
            return broken;
        const qsizetype first = *pos;
        const qsizetype second = first + 4 + get16(r.body, first);
        if (second + 4 > r.body.size())
            return broken;
        const qsizetype rangesAt = second + 4 + get16(r.body, second);
        std::optional<RangeList> list = readRanges(r.body, rangesAt);
        if (!list)
            return broken;
        // Relative references count from the first cell of the first range; the formulas are
        // adjusted as that one cell's, as for conditional formats.
        const int base = list->ranges.empty() ? 0 : list->ranges.front()[0];
        const Rows cells{base, base};
        if (!tokens(r.body, first + 4, get16(r.body, first), cells) ||
            !tokens(r.body, second + 4, get16(r.body, second), cells))
            return refusal("a data validation formula refers to that row or cannot be adjusted");
        if (!target_)
            return std::nullopt;
        if (!moveRanges(*list)) {
            keep = false;
            ++droppedValidations_;
            return std::nullopt;
        }
        r.body = r.body.left(rangesAt) + list->bytes() + r.body.mid(list->end);
        return std::nullopt;
    }

    // DVAL counts the DV records after it.
    bool dropCountedValidations(std::vector<Record>& out) const
    {
        const auto dval = std::find_if(out.begin(), out.end(),
                                       [](const Record& r) { return r.type == type::dVal; });
        if (dval == out.end() || dval->body.size() < 18)
            return false;
        const std::uint32_t count = get32(dval->body, 14);
        const auto left = static_cast<std::uint32_t>(std::max<qsizetype>(
            0, static_cast<qsizetype>(count) - static_cast<qsizetype>(droppedValidations_)));
        biff::put32(dval->body, 14, left);
        // With no rules and no drop-down object left the header goes too.
        if (left == 0 && get32(dval->body, 10) == 0xFFFFFFFF)
            out.erase(dval);
        return true;
    }

    // CONDFMT: rule count, flags and id, bounding range, ranges; its CF records follow.
    std::optional<QString> conditionalFormat(Record& r, bool& keep, std::size_t at)
    {
        std::optional<RangeList> list = readRanges(r.body, 12);
        if (r.body.size() < 12 || !list)
            return refusal("the sheet has conditional formats that cannot be read");
        // Its formulas count relative references from the first cell of its range, and
        // are adjusted as that one cell's formula, as spreadsheet programs do.
        const int first = list->bound().value_or(Rows{})[0];
        formatRows_ = Rows{first, first};
        dropRules_ = 0;
        if (!target_)
            return std::nullopt;
        const std::uint16_t id = get16(r.body, 2) >> 1;
        if (!moveRanges(*list)) {
            keep = false;
            formats_[id] = std::nullopt;
            // Its rules go with it.
            for (std::size_t k = at + 1; k < records_.size() && records_[k].type == type::cf; ++k)
                ++dropRules_;
            return std::nullopt;
        }
        formats_[id] = list->bound();
        putRows(r.body, 4, list->bound());
        r.body = r.body.left(12) + list->bytes() + r.body.mid(list->end);
        return std::nullopt;
    }

    // CF: type, operator, cce1, cce2, formatting of a length its flags decide, then the two
    // formulas, which end the record.
    std::optional<QString> conditionRule(Record& r, bool& keep)
    {
        if (dropRules_ > 0) {
            --dropRules_;
            keep = false;
            return std::nullopt;
        }
        if (r.body.size() < 6)
            return refusal("the sheet has conditional formats that cannot be read");
        const qsizetype cce1 = get16(r.body, 2);
        const qsizetype cce2 = get16(r.body, 4);
        const qsizetype start = r.body.size() - cce1 - cce2;
        if (start < 12)
            return refusal("the sheet has conditional formats that cannot be read");
        if (!tokens(r.body, start, cce1, formatRows_) ||
            !tokens(r.body, start + cce1, cce2, formatRows_))
            return refusal("a conditional format refers to that row or cannot be adjusted");
        return std::nullopt;
    }

    std::optional<QString> onTarget(Record& r, bool& keep, std::size_t at)
    {
        if (const auto found = blocking.find(r.type); found != blocking.end())
            return refusal(found->second);
        switch (r.type) {
        case type::hLink:
        case type::hLinkTooltip: {
            // HLINK starts with its range; its tooltip with its type, then the same range.
            const qsizetype pos = r.type == type::hLink ? 0 : 2;
            if (r.body.size() < pos + 4)
                return refusal("the sheet has a hyperlink that cannot be read");
            keep = moveRows(r.body, pos);
            return std::nullopt;
        }
        case type::mergedCells: {
            // Merged areas move up with their rows, and lose the removed row.
            std::optional<RangeList> list = readRanges(r.body, 0);
            if (!list)
                return refusal("the sheet has merged cells that cannot be read");
            keep = moveRanges(*list);
            r.body = list->bytes() + r.body.mid(list->end);
            return std::nullopt;
        }
        case type::note: {
            if (r.body.size() < 2)
                return refusal("the sheet has a comment that cannot be read");
            const int row = get16(r.body, 0);
            if (!biff8() && row == 0xFFFF)
                return std::nullopt; // the rest of the text of the note before
            const std::optional<int> to = sheet_.removal.moved(row);
            if (!to)
                return refusal("a comment is attached to that row");
            put16(r.body, 0, static_cast<std::uint16_t>(*to));
            return std::nullopt;
        }
        case type::horizontalPageBreaks:
            return pageBreaks(r, keep);
        case type::msoDrawing:
            if (at + 1 < records_.size() && records_[at + 1].type == type::continued)
                return refusal("the sheet holds drawings that cannot be read");
            return drawing(r.body);
        case type::obj:
            return object(r.body);
        case type::continued:
            // Some writers put the drawing of a shape that follows a text box into a CONTINUE
            // record after the text box's own; it starts with a shape container, which no text
            // or formatting run can.
            if (biff8() && r.body.size() >= 8 && get16(r.body, 0) == 0x000F &&
                (get16(r.body, 2) == 0xF004 || get16(r.body, 2) == 0xF003))
                return drawing(r.body);
            return std::nullopt;
        default:
            return std::nullopt;
        }
    }

    // HORIZONTALPAGEBREAKS: count, then the row each break comes before (BIFF8: with the
    // columns it spans). A break before the removed row goes with it.
    std::optional<QString> pageBreaks(Record& r, bool& keep) const
    {
        const qsizetype width = biff8() ? 6 : 2;
        if (r.body.size() < 2 || r.body.size() < 2 + width * get16(r.body, 0))
            return refusal("the sheet has page breaks that cannot be read");
        QByteArray body(2, '\0');
        for (int k = 0; k < get16(r.body, 0); ++k) {
            QByteArray entry = r.body.mid(2 + width * k, width);
            if (const std::optional<int> row = sheet_.removal.moved(get16(entry, 0))) {
                put16(entry, 0, static_cast<std::uint16_t>(*row));
                body += entry;
            }
        }
        put16(body, 0, static_cast<std::uint16_t>((body.size() - 2) / width));
        keep = body.size() > 2;
        r.body = body;
        return std::nullopt;
    }

    // The client anchors of the shapes in one drawing record: top and bottom rows with their
    // offsets in the row. A shape below moves up, one the row cuts through shrinks by it.
    std::optional<QString> drawing(QByteArray& body) const
    {
        const QString broken = refusal("the sheet holds drawings that cannot be read");
        qsizetype pos = 0;
        while (pos < body.size()) {
            if (body.size() - pos < 8)
                return broken;
            const bool container = (get16(body, pos) & 0x000F) == 0x000F;
            const std::uint16_t recordType = get16(body, pos + 2);
            const qsizetype length = get32(body, pos + 4);
            if (container) {
                pos += 8; // its records follow, here or in the drawing records after it
                continue;
            }
            if (length > body.size() - pos - 8)
                return broken;
            if (recordType == clientAnchor) {
                if (!biff8())
                    return broken;
                if (length < 18)
                    return broken;
                if (std::optional<QString> refused = anchor(body, pos + 8))
                    return refused;
            }
            pos += 8 + length;
        }
        return std::nullopt;
    }

    // flags colL dxL rwT dyT colR dxR rwB dyB
    std::optional<QString> anchor(QByteArray& body, qsizetype at) const
    {
        const int top = get16(body, at + 6);
        const int bottom = get16(body, at + 14);
        const bool endsAtRowTop = get16(body, at + 16) == 0;
        if (bottom < top)
            return refusal("the sheet holds drawings that cannot be read");
        if (bottom < removed_ || (bottom == removed_ && endsAtRowTop && top < removed_))
            return std::nullopt;
        if (top == removed_ && (bottom == removed_ || (bottom == removed_ + 1 && endsAtRowTop)))
            return refusal("a drawing, chart, comment or filter button lies within that row");
        const int placement = get16(body, at) & 0x0003;
        if (placement == keepsPlace || (placement == keepsSize && top <= removed_)) {
            unsized(body, at, placement == keepsPlace);
            return std::nullopt;
        }
        if (top > removed_) {
            put16(body, at + 6, static_cast<std::uint16_t>(top - 1));
            put16(body, at + 14, static_cast<std::uint16_t>(bottom - 1));
            return std::nullopt;
        }
        // An edge in the row keeps its offset, now into the row below, as LibreOffice keeps it.
        if (bottom > removed_)
            put16(body, at + 14, static_cast<std::uint16_t>(bottom - 1));
        return std::nullopt;
    }

    // A shape that keeps its height: it stays where it is on the sheet, or, where it moves
    // with its cells, its top edge does; its rows are found again from the rows' heights.
    void unsized(QByteArray& body, qsizetype at, bool keepPlace) const
    {
        const RowPoint top{get16(body, at + 6), get16(body, at + 8)};
        const std::int64_t from = heights_->offset(top);
        const std::int64_t height =
            heights_->offset({get16(body, at + 14), get16(body, at + 16)}) - from;
        const std::int64_t to =
            keepPlace || top.row < removed_ ? from : heights_->offset({removed_, 0});
        const RowPoint first = heights_->afterRemoval(to, removed_);
        const RowPoint last = heights_->afterRemoval(to + height, removed_);
        put16(body, at + 6, static_cast<std::uint16_t>(first.row));
        put16(body, at + 8, static_cast<std::uint16_t>(first.dy));
        put16(body, at + 14, static_cast<std::uint16_t>(last.row));
        put16(body, at + 16, static_cast<std::uint16_t>(last.dy));
    }

    // OBJ: sub-records after the common one. Controls linked to cells name them in formulas
    // that are not followed; pictures, charts, comments, shapes and the drop-down buttons of
    // filters and validation carry no cell links. BIFF5 objects hold their anchors themselves.
    std::optional<QString> object(const QByteArray& body) const
    {
        const char* linked = "a form control on the sheet is linked to cells";
        if (!biff8())
            return refusal("the sheet holds drawings, charts or comments");
        qsizetype pos = 0;
        while (pos + 4 <= body.size()) {
            const std::uint16_t ft = get16(body, pos);
            const qsizetype cb = get16(body, pos + 2);
            if (ft == 0x0000)
                break;
            if (ft == 0x000E || ft == 0x0014) // scroll bar or check box link
                return refusal(linked);
            if (ft == 0x0013) { // list data: its formula first; its length field is unreliable
                if (pos + 6 > body.size() || get16(body, pos + 4) != 0)
                    return refusal(linked);
                break;
            }
            pos += 4 + cb;
        }
        return std::nullopt;
    }

    std::vector<Record>& records_;
    const Sheet& sheet_;
    const int removed_;
    const bool target_;
    const int rowCount_;
    std::optional<RowHeights> heights_; // of the sheet that loses the row, before it goes
    std::map<std::uint16_t, std::optional<Rows>> formats_; // CONDFMT id: its new rows
    Rows formatRows_{};                                    // of the CONDFMT before the rules
    int dropRules_ = 0;
    int droppedValidations_ = 0;
};

} // namespace

std::optional<QString> adjust(std::vector<Record>& records, const Sheet& sheet)
{
    return SheetAdjuster(records, sheet).run(); // which replaces the records only at the end
}

} // namespace rxdeck::workbook::rowremoval
