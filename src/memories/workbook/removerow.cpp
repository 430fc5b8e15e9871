// SPDX-License-Identifier: GPL-3.0-or-later
// Removing one sheet row: the formulas of the whole workbook adjusted first, then the row's
// records dropped and the rows below moved up, with the sheet's other records that name rows.

#include "memories/workbook/documentdata.h"
#include "memories/workbook/formularefs.h"
#include "memories/workbook/recordviews.h"
#include "memories/workbook/rowremoval.h"

namespace rxdeck::workbook {

using biff::put16;
using biff::Record;
namespace type = biff::type;

namespace {

bool adjustable(std::uint16_t t)
{
    return biff::isFormula(t) || t == type::array || t == type::shrFmla || t == type::table ||
           t == type::name || t == type::brai;
}

} // namespace

std::optional<QString>
DocumentData::adjustFormulas(int sheet, int row, std::vector<std::vector<Record>>& adjusted) const
{
    const formula::Biff version = this->version();
    const formula::ExternSheets externs = formula::externSheets(subs_.front().records(), version);
    const std::size_t target = substreamOf(sheet);
    const formula::RowRemoval removal{boundOf(sheet), row};
    const QString refused = QStringLiteral("a formula refers to that row or cannot be adjusted; "
                                           "delete the row in a spreadsheet program");

    adjusted.clear();
    for (std::size_t s = 0; s < subs_.size(); ++s) {
        std::vector<Record> records = subs_[s].records();
        int own = -1;
        for (std::size_t b = 0; b < boundSubstream_.size(); ++b)
            if (boundSubstream_[b] == s)
                own = static_cast<int>(b);
        biff::Nesting nesting;
        bool inRemovedRow = false; // the companions of a formula in the removed row
        for (std::size_t i = 0; i < records.size(); ++i) {
            Record& r = records[i];
            const bool ownLevel = nesting.own(r) && s == target;
            if (ownLevel && biff::isCell(r.type) && r.body.size() >= 6)
                inRemovedRow = biff::rowOf(r) == row;
            else if (!biff::isFormulaPart(r.type))
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
    if (row < 0 || row >= formula::rowCount(version()))
        return QStringLiteral("the row lies outside the sheet");
    const std::size_t target = substreamOf(sheet);
    const formula::RowRemoval removal{boundOf(sheet), row};
    std::vector<std::vector<Record>> adjusted;
    if (std::optional<QString> refused = adjustFormulas(sheet, row, adjusted))
        return refused;

    for (std::size_t s = 0; s < subs_.size(); ++s) {
        // A formula that changed size moves the cells after it: recompute that sheet's blocks.
        const std::vector<Record>& old = subs_[s].records();
        subs_[s].dirty = subs_[s].dirty || old.size() != adjusted[s].size();
        for (std::size_t i = 0; i < old.size() && !subs_[s].dirty; ++i)
            subs_[s].dirty = old[i].body.size() != adjusted[s][i].body.size();
        subs_[s].replace(std::move(adjusted[s]));
    }
    sstChanged_ = sstChanged_ || subs_.front().dirty; // the string table may have moved
    std::vector<Record>& records = subs_[target].edit();
    std::vector<Record> kept;
    kept.reserve(records.size());
    biff::Nesting nesting;
    bool dropping = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Record r = std::move(records[i]);
        if (!nesting.own(r)) {
            dropping = false;
            kept.push_back(std::move(r));
            continue;
        }
        const bool moves = (biff::isCell(r.type) || r.type == type::row) && r.body.size() >= 6;
        if (moves) {
            const std::optional<int> to = removal.moved(biff::rowOf(r));
            dropping = !to;
            if (dropping)
                continue;
            put16(r.body, 0, static_cast<std::uint16_t>(*to));
        } else if (dropping && biff::isFormulaPart(r.type)) {
            continue;
        } else {
            dropping = false;
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
    recalculateAfterRemoval(sheet, row);
    return std::nullopt;
}

} // namespace rxdeck::workbook
