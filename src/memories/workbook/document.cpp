// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a workbook into records and values, and laying the records out again on save.

#include "memories/workbook/document.h"

#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/documentdata.h"

#include <algorithm>
#include <QHash>
#include <string_view>

namespace rxdeck::workbook {

using biff::get16;
using biff::get32;
namespace type = biff::type;

namespace {

constexpr qsizetype maxFileSize = qsizetype{256} * 1024 * 1024;
constexpr std::string_view compoundFileSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

std::variant<std::shared_ptr<DocumentData>, QString> failure(const QString& reason)
{
    return reason;
}

QString damaged()
{
    return QStringLiteral("damaged workbook");
}

std::vector<QByteArrayView> partsFrom(const std::vector<biff::Record>& records, std::size_t at)
{
    std::vector<QByteArrayView> parts{records[at].body};
    for (std::size_t i = at + 1; i < records.size() && records[i].type == type::continued; ++i)
        parts.emplace_back(records[i].body);
    return parts;
}

// Groups the records into substreams, each from a top-level BOF to the next.
std::optional<std::vector<Substream>> substreams(std::vector<biff::Record>&& records)
{
    std::vector<Substream> out;
    qsizetype pos = 0;
    int depth = 0;
    for (biff::Record& record : records) {
        const qsizetype size = 4 + record.body.size();
        if (record.type == type::bof) {
            if (depth == 0)
                out.push_back(Substream{{}, pos, false});
            ++depth;
        } else if (record.type == type::eof && depth > 0) {
            --depth;
        }
        if (out.empty())
            return std::nullopt; // records before the first BOF
        out.back().records.push_back(std::move(record));
        pos += size;
    }
    return out;
}

// Whether the sheet is protected (a PROTECT record of its own, not of a chart embedded in it),
// and which of its cells are then left open by an unlocked format.
void readProtection(DocumentData& data, int sheet, const std::vector<biff::Record>& records,
                    const std::vector<bool>& xfLocked)
{
    bool on = false;
    int depth = 0;
    for (const biff::Record& r : records) {
        depth += r.type == type::bof ? 1 : r.type == type::eof ? -1 : 0;
        if (depth == 1 && r.type == type::protect && r.body.size() >= 2 && get16(r.body, 0) != 0)
            on = true;
    }
    data.protected_.push_back(on);
    if (!on)
        return;
    const auto locked = [&xfLocked](std::uint16_t xf) {
        return xf >= xfLocked.size() || xfLocked[xf]; // cells are locked unless said otherwise
    };
    depth = 0;
    for (const biff::Record& r : records) {
        depth += r.type == type::bof ? 1 : r.type == type::eof ? -1 : 0;
        if (depth != 1)
            continue;
        if (r.type == type::row && r.body.size() >= 16 && (get16(r.body, 12) & 0x0080) != 0) {
            const std::uint16_t xf = get16(r.body, 14) & 0x0FFF; // the row has a format of its own
            data.rowLocked_.insert(DocumentData::protectionKey(sheet, get16(r.body, 0), 0xFF),
                                   locked(xf));
            continue;
        }
        if (r.type == type::colInfo && r.body.size() >= 8) {
            for (int column = get16(r.body, 0); column <= std::min<int>(get16(r.body, 2), 255);
                 ++column)
                data.columnLocked_.insert(DocumentData::protectionKey(sheet, 0, column),
                                          locked(get16(r.body, 6)));
            continue;
        }
        if (!biff::isCell(r.type) || r.body.size() < 6)
            continue;
        const int row = get16(r.body, 0);
        const int first = get16(r.body, 2);
        // MULRK holds an XF and a 4-byte number per cell, MULBLANK an XF per cell.
        const qsizetype step = r.type == type::mulRk ? 6 : r.type == type::mulBlank ? 2 : 0;
        if (step == 0) {
            data.cellLocked_.insert(DocumentData::protectionKey(sheet, row, first),
                                    locked(get16(r.body, 4)));
            continue;
        }
        for (qsizetype at = 4, column = first; at + step + 2 <= r.body.size(); at += step, ++column)
            data.cellLocked_.insert(
                DocumentData::protectionKey(sheet, row, static_cast<int>(column)),
                locked(get16(r.body, at)));
    }
}

} // namespace

std::variant<std::shared_ptr<DocumentData>, QString> DocumentData::parse(const QByteArray& file)
{
    if (file.size() > maxFileSize)
        return failure(QStringLiteral("file too large for a workbook"));
    // Every .xls file since Excel 5.0 is an OLE2 compound file; anything else (a CSV or text file
    // renamed, an empty file) is told apart here.
    if (std::string_view(file.constData(), static_cast<std::size_t>(std::min<qsizetype>(
                                               file.size(), compoundFileSignature.size()))) !=
        compoundFileSignature) {
        // Excel 2.1 to 4.0 wrote a bare stream that starts with its BOF record.
        if (file.size() >= 4 && file[1] <= 0x04 && file[0] == 0x09 && (file[1] & 1) == 0)
            return failure(QStringLiteral("an Excel 4.0 or older worksheet, which Rxdeck cannot "
                                          "open; save it in Excel 97-2003 format"));
        return failure(QStringLiteral("not a workbook"));
    }
    std::variant<compound::Stream, QString> extracted = compound::workbookStream(file);
    if (const QString* problem = std::get_if<QString>(&extracted))
        return failure(*problem);
    compound::Stream& stream = std::get<compound::Stream>(extracted);

    if (stream.bytes.size() < 4 || get16(stream.bytes, 0) != type::bof)
        return failure(QStringLiteral("not a workbook"));
    std::optional<biff::Records> split = biff::split(stream.bytes);
    if (!split)
        return failure(damaged());
    auto data = std::make_shared<DocumentData>();
    data->file_ = file;
    data->streamName_ = stream.name;
    data->tail_ = split->tail;
    std::optional<std::vector<Substream>> subs = substreams(std::move(split->records));
    if (!subs)
        return failure(damaged());
    data->subs_ = std::move(*subs);

    const std::vector<biff::Record>& globals = data->subs_.front().records;
    const QByteArray& bof = globals.front().body;
    if (bof.size() < 4)
        return failure(damaged());
    const std::uint16_t version = get16(bof, 0);
    if (version == 0x0600)
        data->format_ = Document::Format::Biff8;
    else if (version == 0x0500 || qstricmp(stream.name.constData(), "Book") == 0)
        data->format_ = Document::Format::Biff5;
    else
        data->format_ = Document::Format::Biff8;
    cells::Context& context = data->context_;
    context.biff8 = data->format_ == Document::Format::Biff8;

    // First what decides how the rest reads: encryption, code page, date system.
    for (const biff::Record& record : globals) {
        if (record.type == type::filePass)
            return failure(QStringLiteral("password protected"));
        if (record.type == type::codepage && record.body.size() >= 2)
            context.codec = biff::codecName(get16(record.body, 0));
        if (record.type == type::dateMode && record.body.size() >= 2)
            context.date1904 = get16(record.body, 0) == 1;
    }

    struct Bound
    {
        std::uint32_t offset;
        bool worksheet;
        QString name;
    };
    std::vector<Bound> bounds;
    std::vector<bool> xfLocked;
    bool sstRead = false;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const biff::Record& record = globals[i];
        const bool continued = record.type == type::format || record.type == type::boundSheet ||
                               record.type == type::sst;
        // Only these read on into CONTINUE records; gathering them for every record would cost
        // the square of a long run of CONTINUE records.
        biff::Reader in(continued ? partsFrom(globals, i)
                                  : std::vector<QByteArrayView>{record.body});
        switch (record.type) {
        case type::xf:
            if (record.body.size() < 4)
                return failure(damaged());
            context.xfFormats.push_back(get16(record.body, 2));
            xfLocked.push_back(record.body.size() < 6 || (get16(record.body, 4) & 0x0001) != 0);
            break;
        case type::format: {
            const std::uint16_t index = in.u16();
            QString text;
            if (context.biff8) {
                text = in.unicodeString();
            } else {
                const std::uint8_t count = in.u8();
                text = context.decode(in.bytes(count));
            }
            if (!in.ok())
                break; // a format that cannot be read is an unknown one, as other readers take it
            const biff::DateKind kind = biff::formatDateKind(text);
            if (kind.date || kind.time)
                context.dateFormats.insert(index, kind);
            else
                context.dateFormats.remove(index);
            break;
        }
        case type::boundSheet: {
            const std::uint32_t offset = in.u32();
            in.u8(); // visibility
            const std::uint8_t kind = in.u8();
            QString name;
            if (context.biff8) {
                name = in.unicodeString(true);
            } else {
                const std::uint8_t count = in.u8();
                name = context.decode(in.bytes(count));
            }
            if (!in.ok())
                return failure(damaged());
            bounds.push_back(Bound{offset, kind == 0, name});
            break;
        }
        case type::sst: {
            if (!context.biff8 || sstRead)
                break; // the editor, too, works on the first table only
            sstRead = true;
            in.u32();
            const std::uint32_t count = in.u32();
            for (std::uint32_t s = 0; s < count && in.ok() && !in.atEnd(); ++s) {
                bool formatted = false;
                context.strings.push_back(in.unicodeString(false, &formatted));
                if (formatted)
                    data->formattedStrings_.insert(s);
            }
            if (!in.ok())
                return failure(damaged());
            data->sstEndPart_ = in.part();
            data->sstEndOffset_ = in.offset();
            break;
        }
        default:
            break;
        }
    }

    for (const Bound& bound : bounds) {
        const auto found =
            std::find_if(data->subs_.begin() + 1, data->subs_.end(),
                         [&bound](const Substream& s) { return s.originalOffset == bound.offset; });
        if (found == data->subs_.end())
            return failure(damaged());
        const int substream = static_cast<int>(found - data->subs_.begin());
        data->boundSubstream_.push_back(substream);
        const QByteArray& sheetBof = found->records.front().body;
        if (!bound.worksheet || sheetBof.size() < 4 || get16(sheetBof, 2) != 0x0010)
            continue; // chart, macro or module sheets are kept but not shown
        std::optional<std::vector<std::vector<Cell>>> rows =
            cells::readSheet(found->records, context);
        if (!rows)
            return failure(damaged());
        data->worksheetBound_.push_back(static_cast<int>(data->boundSubstream_.size()) - 1);
        readProtection(*data, static_cast<int>(data->values_.sheets.size()), found->records,
                       xfLocked);
        data->values_.sheets.push_back(Sheet{bound.name, std::move(*rows)});
    }
    data->evaluateUncached();
    return data;
}

// --- Laying out the stream again -----------------------------------------------------------

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
    int depth = 0;
    for (const biff::Record& r : records) {
        if (r.type == type::bof)
            ++depth;
        else if (r.type == type::eof)
            --depth;
        else if (depth == 1 && biff::isCell(r.type) && r.body.size() >= 6) {
            const int row = get16(r.body, 0);
            extent.firstRow = extent.firstRow < 0 ? row : std::min(extent.firstRow, row);
            extent.rowEnd = std::max(extent.rowEnd, row + 1);
            extent.firstColumn = std::min<int>(extent.firstColumn, get16(r.body, 2));
            extent.columnEnd = std::max(extent.columnEnd, cells::lastColumn(r) + 1);
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
    int depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const biff::Record& r = records[i];
        if (r.type == type::bof)
            ++depth;
        else if (r.type == type::eof)
            --depth;
        else if (depth == 1 && r.type == type::row && r.body.size() >= 2)
            current.rows.push_back(i);
        else if (depth == 1 && r.type == type::dbCell) {
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
        if (biff::isCell(records[i].type) && records[i].body.size() >= 6 &&
            !firstCells.contains(get16(records[i].body, 0)))
            firstCells.insert(get16(records[i].body, 0), pos[i]);
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
        int depth = 0;
        for (biff::Record& r : records) {
            if (r.type == type::bof)
                ++depth;
            else if (r.type == type::eof)
                --depth;
            else if (depth == 1 && r.type == type::dimensions)
                r.body = dimensionsBody(records, wide);
        }
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
        const std::vector<QByteArrayView> parts = partsFrom(globalRecords, first);
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

// --- Document --------------------------------------------------------------------------------

Document::Document() : data_(std::make_shared<DocumentData>()) {}
Document::~Document() = default;
Document::Document(const Document&) = default;
Document& Document::operator=(const Document&) = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

Document::ParseResult Document::parse(const QByteArray& file)
{
    auto parsed = DocumentData::parse(file);
    if (QString* problem = std::get_if<QString>(&parsed))
        return ParseResult{std::nullopt, *problem};
    Document document;
    document.data_ = std::move(std::get<std::shared_ptr<DocumentData>>(parsed));
    return ParseResult{std::move(document), QString()};
}

std::optional<Document> Document::create(const Workbook& book, QString* error)
{
    const std::optional<QByteArray> file = encode(book, error);
    if (!file)
        return std::nullopt;
    ParseResult parsed = parse(*file);
    if (!parsed.document && error != nullptr)
        *error = parsed.error;
    return std::move(parsed.document);
}

Document::Format Document::format() const
{
    return data_->format_;
}

const Workbook& Document::values() const
{
    return data_->values_;
}

bool Document::isProtected(int sheet) const
{
    return sheet >= 0 && static_cast<std::size_t>(sheet) < data_->protected_.size() &&
           data_->protected_[static_cast<std::size_t>(sheet)];
}

bool Document::isLocked(int sheet, int row, int column) const
{
    if (!isProtected(sheet))
        return false;
    const auto cell = data_->cellLocked_.constFind(DocumentData::protectionKey(sheet, row, column));
    if (cell != data_->cellLocked_.cend())
        return *cell;
    return data_->rowLocked_.value(
        DocumentData::protectionKey(sheet, row, 0xFF),
        data_->columnLocked_.value(DocumentData::protectionKey(sheet, 0, column), true));
}

bool Document::isCurrent(int sheet, int row, int column) const
{
    return data_->isCurrent(sheet, row, column);
}

std::optional<QString> Document::setCell(int sheet, int row, int column, const Cell& value)
{
    auto copy = std::make_shared<DocumentData>(*data_);
    if (std::optional<QString> problem = copy->setCell(sheet, row, column, value))
        return problem;
    copy->recalculateAfterSet(sheet, row, column);
    data_ = std::move(copy);
    return std::nullopt;
}

std::optional<QString> Document::removeRow(int sheet, int row)
{
    if (isProtected(sheet))
        return QStringLiteral("the sheet is protected");
    auto copy = std::make_shared<DocumentData>(*data_);
    if (std::optional<QString> problem = copy->removeRow(sheet, row))
        return problem;
    copy->recalculateAfterRemoval(sheet, row);
    data_ = std::move(copy);
    return std::nullopt;
}

std::optional<QByteArray> Document::save(QString* error) const
{
    if (data_->subs_.empty()) {
        if (error != nullptr)
            *error = QStringLiteral("a workbook needs at least one sheet");
        return std::nullopt;
    }
    if (!data_->edited_)
        return data_->file_;
    return compound::replaceStream(data_->file_, data_->streamName_, data_->stream(), error);
}

} // namespace rxdeck::workbook
