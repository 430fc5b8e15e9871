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

QByteArray dimensionsBody(CellExtent extent, bool biff8)
{
    auto [firstRow, rowEnd, firstColumn, columnEnd] = extent;
    if (firstRow < 0)
        firstRow = firstColumn = 0;
    QByteArray body(biff8 ? 14 : 10, '\0');
    const qsizetype at = biff8 ? 8 : 4;
    if (biff8) {
        biff::put32(body, 0, static_cast<std::uint32_t>(firstRow));
        biff::put32(body, 4, static_cast<std::uint32_t>(rowEnd));
    } else {
        biff::put16(body, 0, static_cast<std::uint16_t>(firstRow));
        biff::put16(body, 2, static_cast<std::uint16_t>(rowEnd));
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
    std::vector<Substream> out = subs_; // sharing the records of every sheet left as it was
    const bool wide = biff8();
    const qsizetype indexHeader = wide ? 16 : 12;

    // Sizes first: DIMENSIONS, DBCELL and INDEX of the sheets whose cells changed (the sheet's
    // own; those of embedded charts describe the chart).
    std::vector<std::vector<Block>> sheetBlocks(out.size());
    std::vector<CellExtent> extents(out.size());
    for (std::size_t s = 1; s < out.size(); ++s) {
        if (!out[s].dirty)
            continue;
        std::vector<biff::Record>& records = out[s].edit();
        sheetBlocks[s] = blocks(records);
        extents[s] = cellExtent(records);
        for (const std::size_t i : biff::ownRecords(records)) {
            QByteArray& body = records[i].body;
            if (records[i].type == type::dimensions)
                body = dimensionsBody(extents[s], wide);
            else if (records[i].type == type::index && body.size() >= indexHeader)
                body = body.left(indexHeader) +
                       QByteArray(4 * static_cast<qsizetype>(sheetBlocks[s].size()), '\0');
        }
        for (const Block& block : sheetBlocks[s])
            records[block.dbCell].body =
                QByteArray(4 + 2 * static_cast<qsizetype>(block.rows.size()), '\0');
    }

    // EXTSST: one entry for every few strings of the shared-string table.
    const auto count = static_cast<qsizetype>(context_.strings.size());
    const qsizetype perBucket = std::max<qsizetype>(8, (count + 127) / 128);
    std::vector<biff::Record>& globalRecords = out[0].edit();
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
        for (const biff::Record& r : out[s].records()) {
            pos[s].push_back(at);
            at += 4 + r.body.size();
        }
    }

    // BOUNDSHEET stream positions.
    std::size_t bound = 0;
    for (biff::Record& r : globalRecords)
        if (r.type == type::boundSheet && bound < boundSubstream_.size() && r.body.size() >= 4)
            biff::put32(r.body, 0,
                        static_cast<std::uint32_t>(pos[boundSubstream_[bound++]].front()));

    // INDEX and DBCELL.
    for (std::size_t s = 1; s < out.size(); ++s) {
        const qsizetype shift = pos[s].front() - out[s].originalOffset;
        if (!out[s].dirty && shift == 0)
            continue;
        std::vector<biff::Record>& records = out[s].edit();
        const auto moved = [shift](QByteArray& body, qsizetype field) {
            biff::put32(body, field, static_cast<std::uint32_t>(get32(body, field) + shift));
        };
        for (const Block& block : sheetBlocks[s])
            records[block.dbCell].body = dbCellBody(records, block, pos[s]);
        for (const std::size_t i : biff::ownRecords(records)) {
            QByteArray& body = records[i].body;
            if (records[i].type != type::index || body.size() < indexHeader)
                continue;
            if (wide && get32(body, 12) != 0) // DEFCOLWIDTH, where the INDEX gives it
                moved(body, 12);
            if (!out[s].dirty) {
                // The sheet is as it was; only its place in the stream moved.
                for (qsizetype f = indexHeader; f + 4 <= body.size(); f += 4)
                    moved(body, f);
                continue;
            }
            const auto firstRow = static_cast<std::uint32_t>(std::max(extents[s].firstRow, 0));
            const auto rowEnd = static_cast<std::uint32_t>(extents[s].rowEnd);
            if (wide) {
                biff::put32(body, 4, firstRow);
                biff::put32(body, 8, rowEnd);
            } else {
                biff::put16(body, 4, static_cast<std::uint16_t>(firstRow));
                biff::put16(body, 6, static_cast<std::uint16_t>(rowEnd));
            }
            for (std::size_t k = 0; k < sheetBlocks[s].size(); ++k)
                if (indexHeader + 4 * static_cast<qsizetype>(k + 1) <= body.size())
                    biff::put32(body, indexHeader + 4 * static_cast<qsizetype>(k),
                                static_cast<std::uint32_t>(pos[s][sheetBlocks[s][k].dbCell]));
            for (std::size_t k = 0; wide && k < records.size(); ++k)
                if (records[k].type == type::defColWidth)
                    biff::put32(body, 12, static_cast<std::uint32_t>(pos[s][k]));
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
        for (const biff::Record& r : sub.records())
            biff::appendRecord(bytes, r.type, r.body);
    bytes.append(tail_);
    return bytes;
}

} // namespace rxdeck::workbook
