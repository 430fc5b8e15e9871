// SPDX-License-Identifier: GPL-3.0-or-later
// Laying the records out again on save: sizes, row-block indexes and stream positions that
// depend on the edits.

#include "memories/workbook/biff8.h"
#include "memories/workbook/documentdata.h"
#include "memories/workbook/recordviews.h"

#include <algorithm>
#include <QHash>

namespace rxdeck::workbook {

using biff::get16;
using biff::get32;
namespace type = biff::type;

namespace {

// Where the sheet's cell records lie: first row and column, and one past the last.
struct CellExtent
{
    int firstRow = -1;
    int rowEnd = 0;
    int firstColumn = 256;
    int columnEnd = 0;
};

CellExtent cellExtent(const std::vector<biff::Record>& records)
{
    CellExtent extent;
    for (const std::size_t i : biff::ownRecords(records)) {
        if (const auto cell = biff::CellRecord::of(records[i])) {
            const int row = cell->row();
            extent.firstRow = extent.firstRow < 0 ? row : std::min(extent.firstRow, row);
            extent.rowEnd = std::max(extent.rowEnd, row + 1);
            extent.firstColumn = std::min(extent.firstColumn, cell->firstColumn());
            extent.columnEnd = std::max(extent.columnEnd, cell->lastColumn() + 1);
        }
    }
    return extent;
}

// The cell records' rows: first and one past the last.
std::pair<int, int> rowSpan(const std::vector<biff::Record>& records)
{
    const CellExtent extent = cellExtent(records);
    return {std::max(extent.firstRow, 0), extent.rowEnd};
}

QByteArray dimensionsBody(const std::vector<biff::Record>& records, bool biff8)
{
    auto [firstRow, rowEnd, firstColumn, columnEnd] = cellExtent(records);
    if (firstRow < 0)
        firstRow = firstColumn = 0;
    QByteArray body(biff8 ? 14 : 10, '\0');
    qsizetype at = 0;
    if (biff8) {
        biff::put32(body, 0, static_cast<std::uint32_t>(firstRow));
        biff::put32(body, 4, static_cast<std::uint32_t>(rowEnd));
        at = 8;
    } else {
        biff::put16(body, 0, static_cast<std::uint16_t>(firstRow));
        biff::put16(body, 2, static_cast<std::uint16_t>(rowEnd));
        at = 4;
    }
    biff::put16(body, at, static_cast<std::uint16_t>(firstColumn));
    biff::put16(body, at + 2, static_cast<std::uint16_t>(columnEnd));
    return body;
}

// One row block of the cell table: its ROW records and the DBCELL that ends it.
struct Block
{
    std::vector<std::size_t> rows; // indexes of ROW records
    std::size_t dbCell = 0;
};

std::vector<Block> blocks(const std::vector<biff::Record>& records)
{
    std::vector<Block> out;
    Block current;
    for (const std::size_t i : biff::ownRecords(records)) {
        const biff::Record& r = records[i];
        if (r.type == type::row && r.body.size() >= 2)
            current.rows.push_back(i);
        else if (r.type == type::dbCell) {
            current.dbCell = i;
            out.push_back(std::move(current));
            current = Block{};
        }
    }
    return out;
}

// DBCELL: distance back to the block's first ROW record, then for each row the position of its
// first cell, the first relative to the end of the first ROW record, the others to the cell
// before.
QByteArray dbCellBody(const std::vector<biff::Record>& records, const Block& block,
                      const std::vector<qsizetype>& pos)
{
    QByteArray body(4 + 2 * static_cast<qsizetype>(block.rows.size()), '\0');
    if (block.rows.empty())
        return body;
    const std::size_t firstRow = block.rows.front();
    biff::put32(body, 0, static_cast<std::uint32_t>(pos[block.dbCell] - pos[firstRow]));
    qsizetype previous = pos[firstRow] + 4 + records[firstRow].body.size();
    // First cell of every row of the block, in one pass.
    QHash<int, qsizetype> firstCells;
    for (std::size_t i = block.rows.back() + 1; i < block.dbCell; ++i)
        if (const auto cell = biff::CellRecord::of(records[i]);
            cell && !firstCells.contains(cell->row()))
            firstCells.insert(cell->row(), pos[i]);
    for (std::size_t k = 0; k < block.rows.size(); ++k) {
        const qsizetype first = firstCells.value(get16(records[block.rows[k]].body, 0), previous);
        biff::put16(body, 4 + 2 * static_cast<qsizetype>(k),
                    static_cast<std::uint16_t>(std::clamp<qsizetype>(first - previous, 0, 0xFFFF)));
        previous = first;
    }
    return body;
}

} // namespace

QByteArray DocumentData::stream() const
{
    std::vector<Substream> out = subs_;
    const bool wide = biff8();

    // Sizes first: DIMENSIONS, DBCELL and INDEX of the sheets whose cells changed.
    std::vector<std::vector<Block>> sheetBlocks(out.size());
    for (std::size_t s = 1; s < out.size(); ++s) {
        if (!out[s].dirty)
            continue;
        std::vector<biff::Record>& records = out[s].records;
        sheetBlocks[s] = blocks(records);
        const std::size_t dbCells = sheetBlocks[s].size();
        // The sheet's own DIMENSIONS; those of embedded charts describe the chart.
        for (const std::size_t i : biff::ownRecords(records))
            if (records[i].type == type::dimensions)
                records[i].body = dimensionsBody(records, wide);
        for (const Block& block : sheetBlocks[s])
            records[block.dbCell].body =
                QByteArray(4 + 2 * static_cast<qsizetype>(block.rows.size()), '\0');
        for (biff::Record& r : records)
            if (r.type == type::index) {
                const qsizetype header = wide ? 16 : 12;
                if (r.body.size() >= header)
                    r.body =
                        r.body.left(header) + QByteArray(4 * static_cast<qsizetype>(dbCells), '\0');
                break;
            }
    }

    // EXTSST: one entry for every few strings of the shared-string table.
    const auto count = static_cast<qsizetype>(context_.strings.size());
    const qsizetype perBucket = std::max<qsizetype>(8, (count + 127) / 128);
    std::vector<biff::Record>& globalRecords = out[0].records;
    const auto sst = std::find_if(globalRecords.begin(), globalRecords.end(),
                                  [](const biff::Record& r) { return r.type == type::sst; });
    const auto ext = std::find_if(globalRecords.begin(), globalRecords.end(),
                                  [](const biff::Record& r) { return r.type == type::extSst; });
    const bool newExtSst = sstChanged_ && sst != globalRecords.end() && ext != globalRecords.end();
    if (newExtSst)
        ext->body = QByteArray(2 + 8 * ((count + perBucket - 1) / perBucket), '\0');

    // Then positions.
    std::vector<std::vector<qsizetype>> pos(out.size());
    qsizetype at = 0;
    for (std::size_t s = 0; s < out.size(); ++s) {
        for (const biff::Record& r : out[s].records) {
            pos[s].push_back(at);
            at += 4 + r.body.size();
        }
    }

    // BOUNDSHEET stream positions.
    std::size_t bound = 0;
    for (biff::Record& r : out[0].records)
        if (r.type == type::boundSheet && bound < boundSubstream_.size() && r.body.size() >= 4)
            biff::put32(r.body, 0,
                        static_cast<std::uint32_t>(pos[boundSubstream_[bound++]].front()));

    // INDEX and DBCELL.
    for (std::size_t s = 1; s < out.size(); ++s) {
        std::vector<biff::Record>& records = out[s].records;
        const qsizetype shift = pos[s].front() - out[s].originalOffset;
        for (const Block& block : sheetBlocks[s])
            records[block.dbCell].body = dbCellBody(records, block, pos[s]);
        for (std::size_t i = 0; i < records.size(); ++i) {
            biff::Record& r = records[i];
            if (r.type != type::index)
                continue;
            const qsizetype header = wide ? 16 : 12;
            if (r.body.size() < header)
                continue;
            if (!out[s].dirty) {
                // The sheet is as it was; only its place in the stream moved.
                for (qsizetype f = header; f + 4 <= r.body.size(); f += 4)
                    biff::put32(r.body, f, static_cast<std::uint32_t>(get32(r.body, f) + shift));
                if (wide && get32(r.body, 12) != 0)
                    biff::put32(r.body, 12, static_cast<std::uint32_t>(get32(r.body, 12) + shift));
                continue;
            }
            if (wide && get32(r.body, 12) != 0) // DEFCOLWIDTH, found again below
                biff::put32(r.body, 12, static_cast<std::uint32_t>(get32(r.body, 12) + shift));
            const auto [firstRow, rowEnd] = rowSpan(records);
            if (wide) {
                biff::put32(r.body, 4, static_cast<std::uint32_t>(rowEnd > 0 ? firstRow : 0));
                biff::put32(r.body, 8, static_cast<std::uint32_t>(rowEnd));
            } else {
                biff::put16(r.body, 4, static_cast<std::uint16_t>(rowEnd > 0 ? firstRow : 0));
                biff::put16(r.body, 6, static_cast<std::uint16_t>(rowEnd));
            }
            qsizetype field = header;
            for (const Block& block : sheetBlocks[s]) {
                if (field + 4 <= r.body.size())
                    biff::put32(r.body, field, static_cast<std::uint32_t>(pos[s][block.dbCell]));
                field += 4;
            }
            for (std::size_t k = 0; k < records.size(); ++k)
                if (wide && records[k].type == type::defColWidth)
                    biff::put32(r.body, 12, static_cast<std::uint32_t>(pos[s][k]));
        }
    }

    // EXTSST: where those strings start.
    if (newExtSst) {
        const auto first = static_cast<std::size_t>(sst - globalRecords.begin());
        const std::vector<QByteArrayView> parts = biff::parts(globalRecords, first);
        biff8::Bytes body;
        body.u16(static_cast<std::uint16_t>(perBucket));
        biff::Reader in(parts);
        in.skip(8);
        for (qsizetype k = 0; k < count && in.ok(); ++k) {
            if (k % perBucket == 0) {
                std::size_t part = in.part();
                qsizetype offset = in.offset();
                if (part < parts.size() && offset >= parts[part].size()) {
                    ++part; // the string starts the next record
                    offset = 0;
                }
                body.u32(static_cast<std::uint32_t>(pos[0][first + part] + 4 + offset))
                    .u16(static_cast<std::uint16_t>(4 + offset))
                    .u16(0);
            }
            in.unicodeString();
        }
        if (body.size() == ext->body.size())
            ext->body = body.data();
    }

    QByteArray bytes;
    bytes.reserve(at + tail_.size());
    for (const Substream& sub : out)
        for (const biff::Record& r : sub.records)
            biff::appendRecord(bytes, r.type, r.body);
    bytes.append(tail_);
    return bytes;
}

} // namespace rxdeck::workbook
