// SPDX-License-Identifier: GPL-3.0-or-later
// BIFF8 records for a workbook of plain values: numbers and shared-string cells on default
// formatting, with the minimal font, XF and style tables that spreadsheet programs expect.

#include "memories/workbook/biff8.h"

#include "memories/workbook/cells.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <QHash>
#include <QSet>
#include <vector>

namespace rxdeck::workbook::biff8 {

Bytes& Bytes::u8(std::uint8_t v)
{
    data_.append(static_cast<char>(v));
    return *this;
}

Bytes& Bytes::u16(std::uint16_t v)
{
    return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8));
}

Bytes& Bytes::u32(std::uint32_t v)
{
    return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16));
}

Bytes& Bytes::f64(double v)
{
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
}

Bytes& Bytes::raw(const QByteArray& bytes)
{
    data_.append(bytes);
    return *this;
}

Bytes& Bytes::chars(const QString& text, bool wide, qsizetype from, qsizetype count)
{
    for (qsizetype i = from; i < (count < 0 ? text.size() : from + count); ++i)
        wide ? u16(text[i].unicode()) : u8(static_cast<std::uint8_t>(text[i].unicode()));
    return *this;
}

Bytes& Bytes::record(std::uint16_t type, const QByteArray& body)
{
    Q_ASSERT(body.size() <= maxRecordBody);
    return u16(type).u16(static_cast<std::uint16_t>(body.size())).raw(body);
}

void Bytes::patchU32(qsizetype pos, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        data_[pos + i] = static_cast<char>(v >> (8 * i));
}

namespace {

constexpr int maxSheetName = 31;

// Number of columns up to and including the last non-empty cell.
qsizetype usedColumns(const std::vector<Cell>& row)
{
    auto last =
        std::find_if(row.rbegin(), row.rend(), [](const Cell& c) { return !cells::isBlank(c); });
    return row.rend() - last;
}

// Number of rows up to and including the last row with a non-empty cell.
qsizetype usedRows(const Sheet& sheet)
{
    auto last = std::find_if(sheet.rows.rbegin(), sheet.rows.rend(),
                             [](const std::vector<Cell>& r) { return usedColumns(r) > 0; });
    return sheet.rows.rend() - last;
}

constexpr qsizetype stringHeader = 3; // character count (2 bytes) and flags (1 byte)

// Characters of one width that fit from a point with `free` bytes left in a record, through the
// end of the next record (which spends one byte on the repeated flags).
constexpr qsizetype twoRecordCapacity(qsizetype free, qsizetype charSize)
{
    return (free - stringHeader) / charSize + (maxRecordBody - 1) / charSize;
}

static_assert(twoRecordCapacity(maxRecordBody, 1) == maxLatin1TextLength);
static_assert(twoRecordCapacity(maxRecordBody, 2) == maxTextLength);

QByteArray bofBody(std::uint16_t substreamType)
{
    Bytes b;
    b.u16(0x0600).u16(substreamType).u16(0x0DBB).u16(0x07CC); // BIFF8, build and year of Excel 97
    b.u32(0).u32(0x0006);                                     // no history flags; lowest BIFF 8
    return b.data();
}

QByteArray fontBody()
{
    Bytes b;
    b.u16(200).u16(0).u16(0x7FFF).u16(400); // 10 pt, plain, automatic colour, normal weight
    b.u16(0).u8(0).u8(0).u8(0).u8(0);       // no super/subscript, underline, family, charset
    const QByteArray name = QByteArrayLiteral("Arial");
    b.u8(static_cast<std::uint8_t>(name.size())).u8(0).raw(name);
    return b.data();
}

struct XfSpec
{
    std::uint16_t font;
    std::uint16_t format;
    std::uint16_t typeAndParent; // 0xFFF5: locked style XF; 0x0001: locked cell XF of style 0
    std::uint8_t usedAttributes;
};

// The 21 XFs every Excel 97 workbook starts with: 15 style XFs, the default cell XF (15) and the
// five XFs of the built-in number styles.
constexpr std::array<XfSpec, 21> builtInXfs{{
    {0, 0, 0xFFF5, 0x00},    {1, 0, 0xFFF5, 0xF4},    {1, 0, 0xFFF5, 0xF4},
    {2, 0, 0xFFF5, 0xF4},    {2, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},
    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},
    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},
    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},    {0, 0, 0xFFF5, 0xF4},
    {0, 0, 0x0001, 0x00},    {1, 0x2B, 0xFFF5, 0xF8}, {1, 0x29, 0xFFF5, 0xF8},
    {1, 0x2C, 0xFFF5, 0xF8}, {1, 0x2A, 0xFFF5, 0xF8}, {1, 0x09, 0xFFF5, 0xF8},
}};

QByteArray xfBody(const XfSpec& xf)
{
    Bytes b;
    b.u16(xf.font).u16(xf.format).u16(xf.typeAndParent);
    b.u8(0x20).u8(0).u8(0).u8(xf.usedAttributes); // general, bottom-aligned, no rotation
    b.u32(0).u32(0);                              // no borders, no fill
    b.u16(0x20C0);                                // system foreground and background colours
    return b.data();
}

// Built-in styles: Comma, Comma [0], Currency, Currency [0], Normal, Percent.
constexpr std::array<std::pair<std::uint16_t, std::uint8_t>, 6> builtInStyles{
    {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}}};

QByteArray window1Body()
{
    Bytes b;
    b.u16(0).u16(0).u16(0x4000).u16(0x2000); // position and size in twips
    b.u16(0x0038);                           // show scroll bars and sheet tabs
    b.u16(0).u16(0).u16(1).u16(600);         // first sheet active, one selected, tab ratio
    return b.data();
}

QByteArray boundSheetBody(const QString& name)
{
    const bool wide = needsWideChars(name);
    Bytes b;
    b.u32(0).u8(0).u8(0); // stream offset (patched later), visible, worksheet
    b.u8(static_cast<std::uint8_t>(name.size())).u8(wide ? 1 : 0).chars(name, wide);
    return b.data();
}

} // namespace

bool needsWideChars(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; });
}

SharedStringPlace appendSharedString(std::vector<QByteArray>& parts, const QString& text)
{
    const bool wide = needsWideChars(text);
    const qsizetype charSize = wide ? 2 : 1;
    // The string header (length and flags) and its first character stay in one record, and no
    // string runs over more than two records: some readers get such strings wrong. A string
    // that would do so starts at the top of a new record; checkWritable and fitsInCell keep
    // every string short enough to fit there.
    const qsizetype free = maxRecordBody - parts.back().size();
    if (free < stringHeader + charSize || text.size() > twoRecordCapacity(free, charSize))
        parts.emplace_back();
    const SharedStringPlace place{parts.size() - 1, parts.back().size()};
    Bytes chars;
    chars.u16(static_cast<std::uint16_t>(text.size())).u8(wide ? 1 : 0);
    qsizetype done = 0;
    while (done < text.size()) {
        const qsizetype room = (maxRecordBody - parts.back().size() - chars.size()) / charSize;
        if (room == 0) {
            // The rest goes on in a CONTINUE record, which starts with the width flag again.
            parts.back() += chars.data();
            chars = Bytes();
            parts.emplace_back(1, wide ? '\1' : '\0');
            continue;
        }
        const qsizetype n = std::min(room, text.size() - done);
        chars.chars(text, wide, done, n);
        done += n;
    }
    parts.back() += chars.data();
    return place;
}

namespace {

// The shared string table: every distinct text once, cells refer to it by index.
class StringTable
{
public:
    std::uint32_t add(const QString& text)
    {
        ++references_;
        if (auto it = index_.constFind(text); it != index_.constEnd())
            return it.value();
        const auto next = static_cast<std::uint32_t>(strings_.size());
        index_.insert(text, next);
        strings_.push_back(text);
        return next;
    }

    // Appends SST (split into CONTINUE records where a record fills up) and EXTSST to out.
    void write(Bytes& out) const;

private:
    std::vector<QString> strings_;
    QHash<QString, std::uint32_t> index_;
    std::uint32_t references_ = 0;
};

void StringTable::write(Bytes& out) const
{
    // EXTSST points at the first string of every bucket so that readers can seek into the table.
    const auto count = static_cast<qsizetype>(strings_.size());
    const qsizetype perBucket = std::max<qsizetype>(8, (count + 127) / 128);
    std::vector<QByteArray> parts{
        Bytes().u32(references_).u32(static_cast<std::uint32_t>(count)).data()};
    std::vector<SharedStringPlace> bucketStarts;
    for (qsizetype i = 0; i < count; ++i) {
        const SharedStringPlace place =
            appendSharedString(parts, strings_[static_cast<std::size_t>(i)]);
        if (i % perBucket == 0)
            bucketStarts.push_back(place);
    }
    std::vector<qsizetype> partAt; // stream position of each record
    for (std::size_t k = 0; k < parts.size(); ++k) {
        partAt.push_back(out.size());
        out.record(k == 0 ? record::sst : record::continued, parts[k]);
    }
    Bytes ext;
    ext.u16(static_cast<std::uint16_t>(perBucket));
    for (const SharedStringPlace& place : bucketStarts)
        ext.u32(static_cast<std::uint32_t>(partAt[place.part] + 4 + place.offset))
            .u16(static_cast<std::uint16_t>(4 + place.offset))
            .u16(0);
    out.record(record::extSst, ext.data());
}

QByteArray sheetSubstream(const Sheet& sheet, bool firstSheet, StringTable& strings)
{
    const qsizetype rowCount = usedRows(sheet);
    qsizetype firstRow = -1;
    qsizetype firstColumn = 0;
    qsizetype columnEnd = 0;
    Bytes cells;
    for (qsizetype r = 0; r < rowCount; ++r) {
        const std::vector<Cell>& row = sheet.rows[static_cast<std::size_t>(r)];
        for (qsizetype c = 0; c < usedColumns(row); ++c) {
            const Cell& cell = row[static_cast<std::size_t>(c)];
            if (cells::isBlank(cell))
                continue;
            firstColumn = firstRow < 0 ? c : std::min(firstColumn, c);
            firstRow = firstRow < 0 ? r : firstRow;
            columnEnd = std::max(columnEnd, c + 1);
            Bytes b;
            b.u16(static_cast<std::uint16_t>(r))
                .u16(static_cast<std::uint16_t>(c))
                .u16(defaultCellXf);
            if (const double* number = std::get_if<double>(&cell))
                cells.record(record::number, b.f64(*number).data());
            else
                cells.record(record::labelSst, b.u32(strings.add(std::get<QString>(cell))).data());
        }
    }

    Bytes out;
    out.record(record::bof, bofBody(0x0010));
    out.record(record::dimensions,
               Bytes()
                   .u32(static_cast<std::uint32_t>(std::max<qsizetype>(firstRow, 0)))
                   .u32(static_cast<std::uint32_t>(firstRow < 0 ? 0 : rowCount))
                   .u16(static_cast<std::uint16_t>(firstColumn))
                   .u16(static_cast<std::uint16_t>(columnEnd))
                   .u16(0)
                   .data());
    out.raw(cells.data());

    Bytes window;
    // Grid lines, headers, zeros, outline symbols; the first sheet is the selected one.
    window.u16(firstSheet ? 0x06B6 : 0x00B6).u16(0).u16(0).u32(0x40);
    window.u16(0).u16(0).u32(0);
    out.record(record::window2, window.data());
    out.record(record::eof, QByteArray());
    return out.data();
}

} // namespace

bool fitsInCell(const QString& text)
{
    const qsizetype charSize = needsWideChars(text) ? 2 : 1;
    return text.size() <= twoRecordCapacity(maxRecordBody, charSize);
}

std::optional<QString> checkWritable(const Workbook& book)
{
    if (book.sheets.empty())
        return QStringLiteral("a workbook needs at least one sheet");
    QSet<QString> names;
    for (const Sheet& sheet : book.sheets) {
        const QString& name = sheet.name;
        if (name.isEmpty() || name.size() > maxSheetName)
            return QStringLiteral("sheet name \"%1\" must have 1 to 31 characters").arg(name);
        if (std::any_of(name.cbegin(), name.cend(),
                        [](QChar c) { return QStringLiteral("[]:*?/\\").contains(c); }))
            return QStringLiteral("sheet name \"%1\" contains one of []:*?/\\").arg(name);
        const QString folded = name.toCaseFolded();
        if (names.contains(folded))
            return QStringLiteral("two sheets are named \"%1\"").arg(name);
        names.insert(folded);

        const qsizetype rowCount = usedRows(sheet);
        if (rowCount > maxRows)
            return QStringLiteral("sheet \"%1\" has more than %2 rows").arg(name).arg(maxRows);
        for (qsizetype r = 0; r < rowCount; ++r) {
            const std::vector<Cell>& row = sheet.rows[static_cast<std::size_t>(r)];
            if (usedColumns(row) > maxColumns)
                return QStringLiteral("sheet \"%1\" has more than %2 columns")
                    .arg(name)
                    .arg(maxColumns);
            for (const Cell& cell : row) {
                if (const double* number = std::get_if<double>(&cell);
                    number && !std::isfinite(*number))
                    return QStringLiteral("sheet \"%1\" holds a number that is not finite")
                        .arg(name);
                if (const QString* text = std::get_if<QString>(&cell); text && !fitsInCell(*text))
                    return QStringLiteral("sheet \"%1\" holds a text longer than %2 characters")
                        .arg(name)
                        .arg(needsWideChars(*text) ? maxTextLength : maxLatin1TextLength);
            }
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> workbookStream(const Workbook& book, QString* error)
{
    if (std::optional<QString> problem = checkWritable(book)) {
        if (error != nullptr)
            *error = *problem;
        return std::nullopt;
    }

    // Sheets first: they fill the string table the globals carry.
    StringTable strings;
    std::vector<QByteArray> sheets;
    sheets.reserve(book.sheets.size());
    for (std::size_t i = 0; i < book.sheets.size(); ++i)
        sheets.push_back(sheetSubstream(book.sheets[i], i == 0, strings));

    Bytes out;
    out.record(record::bof, bofBody(0x0005));
    out.record(record::codepage, Bytes().u16(1200).data()); // UTF-16
    out.record(record::window1, window1Body());
    out.record(record::dateMode, Bytes().u16(0).data()); // dates count from 1900
    for (int i = 0; i < 4; ++i)
        out.record(record::font, fontBody());
    for (const XfSpec& xf : builtInXfs)
        out.record(record::xf, xfBody(xf));
    for (const auto& [xfIndex, styleId] : builtInStyles)
        out.record(record::style, Bytes().u16(0x8000 | xfIndex).u8(styleId).u8(0xFF).data());
    std::vector<qsizetype> offsetFields;
    for (const Sheet& sheet : book.sheets) {
        offsetFields.push_back(out.size() + 4);
        out.record(record::boundSheet, boundSheetBody(sheet.name));
    }
    strings.write(out);
    out.record(record::eof, QByteArray());

    for (std::size_t i = 0; i < sheets.size(); ++i) {
        out.patchU32(offsetFields[i], static_cast<std::uint32_t>(out.size()));
        out.raw(sheets[i]);
    }
    return out.data();
}

} // namespace rxdeck::workbook::biff8
