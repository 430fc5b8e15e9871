// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a workbook into records and values, and the document that holds them.

#include "memories/workbook/document.h"

#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/documentdata.h"
#include "memories/workbook/recordviews.h"

#include <algorithm>
#include <QHash>

namespace rxdeck::workbook {

using biff::get16;
using biff::get32;
namespace type = biff::type;

namespace {

constexpr QByteArrayView compoundFileSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

QString damaged()
{
    return QStringLiteral("damaged workbook");
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
                out.emplace_back(pos);
            ++depth;
        } else if (record.type == type::eof && depth > 0) {
            --depth;
        }
        if (out.empty())
            return std::nullopt; // records before the first BOF
        out.back().edit().push_back(std::move(record));
        pos += size;
    }
    return out;
}

} // namespace

std::variant<std::shared_ptr<DocumentData>, QString> DocumentData::parse(const QByteArray& file)
{
    if (file.size() > Document::maxFileSize)
        return QStringLiteral("file too large for a workbook");
    // Every .xls file since Excel 5.0 is an OLE2 compound file; anything else (a CSV or text file
    // renamed, an empty file) is told apart here.
    if (!file.startsWith(compoundFileSignature)) {
        // Excel 2.1 to 4.0 wrote a bare stream that starts with its BOF record.
        if (file.size() >= 4 && file[1] <= 0x04 && file[0] == 0x09 && (file[1] & 1) == 0)
            return QStringLiteral("an Excel 4.0 or older worksheet, which Rxdeck cannot open; save "
                                  "it in Excel 97-2003 format");
        return QStringLiteral("not a workbook");
    }
    std::variant<compound::Stream, QString> extracted = compound::workbookStream(file);
    if (const QString* problem = std::get_if<QString>(&extracted))
        return *problem;
    compound::Stream& stream = std::get<compound::Stream>(extracted);

    if (stream.bytes.size() < 4 || get16(stream.bytes, 0) != type::bof)
        return QStringLiteral("not a workbook");
    std::optional<biff::Records> split = biff::split(stream.bytes);
    if (!split)
        return damaged();
    auto data = std::make_shared<DocumentData>();
    data->file_ = file;
    data->streamName_ = stream.name;
    data->tail_ = split->tail;
    std::optional<std::vector<Substream>> subs = substreams(std::move(split->records));
    if (!subs)
        return damaged();
    data->subs_ = std::move(*subs);

    const std::vector<biff::Record>& globals = data->subs_.front().records();
    const QByteArray& bof = globals.front().body;
    if (bof.size() < 4)
        return damaged();
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
            return QStringLiteral("password protected");
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
        biff::Reader in(continued ? biff::parts(globals, i)
                                  : std::vector<QByteArrayView>{record.body});
        switch (record.type) {
        case type::xf:
            if (record.body.size() < 4)
                return damaged();
            context.xfFormats.push_back(get16(record.body, 2));
            xfLocked.push_back(record.body.size() < 6 || (get16(record.body, 4) & 0x0001) != 0);
            break;
        case type::format: {
            const std::uint16_t index = in.u16();
            const QString text =
                context.biff8 ? in.unicodeString() : context.decode(in.bytes(in.u8()));
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
            const QString name =
                context.biff8 ? in.unicodeString(true) : context.decode(in.bytes(in.u8()));
            if (!in.ok())
                return damaged();
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
                return damaged();
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
            return damaged();
        data->boundSubstream_.push_back(static_cast<std::size_t>(found - data->subs_.begin()));
        const QByteArray& sheetBof = found->records().front().body;
        if (!bound.worksheet || sheetBof.size() < 4 || get16(sheetBof, 2) != 0x0010)
            continue; // chart, macro or module sheets are kept but not shown
        std::optional<std::vector<std::vector<Cell>>> rows =
            cells::readSheet(found->records(), context);
        if (!rows)
            return damaged();
        data->worksheetBound_.push_back(static_cast<int>(data->boundSubstream_.size()) - 1);
        data->readProtection(static_cast<int>(data->values_.sheets.size()), found->records(),
                             xfLocked);
        data->values_.sheets.push_back(Sheet{bound.name, std::move(*rows)});
    }
    data->evaluateUncached();
    return data;
}

// A PROTECT record of the sheet's own, not of a chart embedded in it.
void DocumentData::readProtection(int sheet, const std::vector<biff::Record>& records,
                                  const std::vector<bool>& xfLocked)
{
    const std::vector<std::size_t> own = biff::ownRecords(records);
    const bool on = std::any_of(own.begin(), own.end(), [&records](std::size_t i) {
        const biff::Record& r = records[i];
        return r.type == type::protect && r.body.size() >= 2 && get16(r.body, 0) != 0;
    });
    protected_.push_back(on);
    if (!on)
        return;
    const auto locked = [&xfLocked](std::uint16_t xf) {
        return xf >= xfLocked.size() || xfLocked[xf]; // cells are locked unless said otherwise
    };
    for (const std::size_t i : own) {
        const biff::Record& r = records[i];
        if (const auto row = biff::RowRecord::of(r); row && row->xf()) {
            rowLocked_.insert(cells::cellKey(sheet, row->row(), 0xFF), locked(*row->xf()));
            continue;
        }
        if (r.type == type::colInfo && r.body.size() >= 8) {
            for (int column = get16(r.body, 0); column <= std::min<int>(get16(r.body, 2), 255);
                 ++column)
                columnLocked_.insert(cells::cellKey(sheet, 0, column), locked(get16(r.body, 6)));
            continue;
        }
        if (const auto cell = biff::CellRecord::of(r))
            for (int column = cell->firstColumn(); column <= cell->lastColumn(); ++column)
                cellLocked_.insert(cells::cellKey(sheet, cell->row(), column),
                                   locked(cell->xf(column)));
    }
}

bool DocumentData::isProtected(int sheet) const
{
    return sheet >= 0 && static_cast<std::size_t>(sheet) < protected_.size() &&
           protected_[static_cast<std::size_t>(sheet)];
}

bool DocumentData::isLocked(int sheet, int row, int column) const
{
    if (!isProtected(sheet))
        return false;
    const auto cell = cellLocked_.constFind(cells::cellKey(sheet, row, column));
    if (cell != cellLocked_.cend())
        return *cell;
    return rowLocked_.value(cells::cellKey(sheet, row, 0xFF),
                            columnLocked_.value(cells::cellKey(sheet, 0, column), true));
}

std::optional<QByteArray> DocumentData::save(QString* error) const
{
    if (subs_.empty()) {
        if (error != nullptr)
            *error = QStringLiteral("a workbook needs at least one sheet");
        return std::nullopt;
    }
    if (!edited_)
        return file_;
    return compound::replaceStream(file_, streamName_, stream(), error);
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
    return data_->format();
}

const Workbook& Document::values() const
{
    return data_->values();
}

bool Document::isProtected(int sheet) const
{
    return data_->isProtected(sheet);
}

bool Document::isLocked(int sheet, int row, int column) const
{
    return data_->isLocked(sheet, row, column);
}

bool Document::isCurrent(int sheet, int row, int column) const
{
    return data_->isCurrent(sheet, row, column);
}

// An edit is made on a copy, which takes the document's place only where it succeeds.
std::optional<QString> Document::setCell(int sheet, int row, int column, const Cell& value)
{
    auto copy = std::make_shared<DocumentData>(*data_);
    std::optional<QString> problem = copy->setCell(sheet, row, column, value);
    if (!problem)
        data_ = std::move(copy);
    return problem;
}

std::optional<QString> Document::removeRow(int sheet, int row)
{
    if (isProtected(sheet))
        return QStringLiteral("the sheet is protected");
    auto copy = std::make_shared<DocumentData>(*data_);
    std::optional<QString> problem = copy->removeRow(sheet, row);
    if (!problem)
        data_ = std::move(copy);
    return problem;
}

std::optional<QByteArray> Document::save(QString* error) const
{
    return data_->save(error);
}

} // namespace rxdeck::workbook
