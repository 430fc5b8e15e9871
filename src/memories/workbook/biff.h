// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// BIFF5/BIFF8 record level: splitting a workbook stream into records, bounds-checked reading of
// record bodies, texts, RK numbers, error codes, code pages and date formats. Internal to the
// workbook codec.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace rxdeck::workbook::biff {

namespace type {
inline constexpr std::uint16_t formula = 0x0006;
inline constexpr std::uint16_t eof = 0x000A;
inline constexpr std::uint16_t protect = 0x0012;
inline constexpr std::uint16_t externSheet = 0x0017;
inline constexpr std::uint16_t uncalced = 0x005E;
inline constexpr std::uint16_t colInfo = 0x007D;
inline constexpr std::uint16_t horizontalPageBreaks = 0x001B;
inline constexpr std::uint16_t note = 0x001C;
inline constexpr std::uint16_t name = 0x0018;
inline constexpr std::uint16_t dateMode = 0x0022;
inline constexpr std::uint16_t filePass = 0x002F;
inline constexpr std::uint16_t font = 0x0031;
inline constexpr std::uint16_t continued = 0x003C;
inline constexpr std::uint16_t window1 = 0x003D;
inline constexpr std::uint16_t codepage = 0x0042;
inline constexpr std::uint16_t defColWidth = 0x0055;
inline constexpr std::uint16_t obj = 0x005D;
inline constexpr std::uint16_t boundSheet = 0x0085;
inline constexpr std::uint16_t mulRk = 0x00BD;
inline constexpr std::uint16_t mulBlank = 0x00BE;
inline constexpr std::uint16_t rString = 0x00D6;
inline constexpr std::uint16_t dbCell = 0x00D7;
inline constexpr std::uint16_t xf = 0x00E0;
inline constexpr std::uint16_t mergedCells = 0x00E5;
inline constexpr std::uint16_t msoDrawing = 0x00EC;
inline constexpr std::uint16_t sst = 0x00FC;
inline constexpr std::uint16_t labelSst = 0x00FD;
inline constexpr std::uint16_t extSst = 0x00FF;
inline constexpr std::uint16_t supBook = 0x01AE;
inline constexpr std::uint16_t condFmt = 0x01B0;
inline constexpr std::uint16_t cf = 0x01B1;
inline constexpr std::uint16_t dVal = 0x01B2;
inline constexpr std::uint16_t hLink = 0x01B8;
inline constexpr std::uint16_t dv = 0x01BE;
inline constexpr std::uint16_t dimensions = 0x0200;
inline constexpr std::uint16_t blank = 0x0201;
inline constexpr std::uint16_t number = 0x0203;
inline constexpr std::uint16_t label = 0x0204;
inline constexpr std::uint16_t boolErr = 0x0205;
inline constexpr std::uint16_t string = 0x0207;
inline constexpr std::uint16_t row = 0x0208;
inline constexpr std::uint16_t index = 0x020B;
inline constexpr std::uint16_t array = 0x0221;
inline constexpr std::uint16_t defaultRowHeight = 0x0225;
inline constexpr std::uint16_t table = 0x0236;
inline constexpr std::uint16_t window2 = 0x023E;
inline constexpr std::uint16_t rk = 0x027E;
inline constexpr std::uint16_t style = 0x0293;
inline constexpr std::uint16_t oldFormula = 0x0406; // BIFF3/4 layout, written by some exporters
inline constexpr std::uint16_t format = 0x041E;
inline constexpr std::uint16_t shrFmla = 0x04BC;
inline constexpr std::uint16_t hLinkTooltip = 0x0800;
inline constexpr std::uint16_t bof = 0x0809;
inline constexpr std::uint16_t condFmt12 = 0x0879;
inline constexpr std::uint16_t cf12 = 0x087A;
inline constexpr std::uint16_t cfEx = 0x087B;
inline constexpr std::uint16_t brai = 0x1051;
} // namespace type

// Records that hold the value or format of one or more cells.
bool isCell(std::uint16_t type);
// FORMULA records of either layout.
bool isFormula(std::uint16_t type);
// Records that belong to the FORMULA before them: its text result, shared, array and table
// formulas, and CONTINUE records.
bool isFormulaPart(std::uint16_t type);

struct Record
{
    std::uint16_t type = 0;
    QByteArray body;
};

// The records of a stream in order; bytes after the last whole record that cannot be a record
// (padding some writers leave) are kept as they are.
struct Records
{
    std::vector<Record> records;
    QByteArray tail;
};

// Splits a stream into records. Fails where a record runs past the end of the stream before the
// last substream has ended.
std::optional<Records> split(const QByteArray& stream);

// Follows the BOF/EOF nesting of a substream record by record, to tell the substream's own
// records from those of the charts embedded in a sheet.
class Nesting
{
public:
    // Whether r, the next record, is one of the substream's own; its BOF and EOF are not.
    bool own(const Record& r)
    {
        const bool bof = r.type == type::bof;
        const bool eof = r.type == type::eof;
        depth_ += bof ? 1 : eof ? -1 : 0;
        return depth_ == 1 && !bof && !eof;
    }

private:
    int depth_ = 0;
};

// The indexes of a substream's own records, in order.
std::vector<std::size_t> ownRecords(const std::vector<Record>& records);

// One past the records that belong to the cell record at `at`: a formula's STRING, SHRFMLA,
// ARRAY or TABLE record, and CONTINUE records.
std::size_t cellEnd(const std::vector<Record>& records, std::size_t at);

// The body of records[at] and those of the CONTINUE records after it.
std::vector<QByteArrayView> parts(const std::vector<Record>& records, std::size_t at);

// Replaces records [from, to) with `with`: an insert where from == to, an erase where `with`
// is empty.
void splice(std::vector<Record>& records, std::size_t from, std::size_t to,
            std::vector<Record> with = {});

// Appends one record with its header.
void appendRecord(QByteArray& out, std::uint16_t type, const QByteArray& body);

// Bounds-checked little-endian reader over the bodies of a record and the CONTINUE records after
// it. Reading past the end sets a failure flag and returns zeros; callers check ok() once.
class Reader
{
public:
    explicit Reader(QByteArrayView body) : parts_{body} {}
    explicit Reader(std::vector<QByteArrayView> parts) : parts_(std::move(parts)) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    void skip(qsizetype n);
    QByteArray bytes(qsizetype n);
    // Characters of a BIFF8 string, continuing in the next part with a new flags byte where a
    // part ends inside them.
    QString chars(qsizetype count, bool wide);
    // A BIFF8 string: 16-bit (or 8-bit when shortLength) count, flags, rich-text and extension
    // headers, characters, then the rich-text runs and extension data, which are skipped;
    // *formatted tells whether it has rich-text runs.
    QString unicodeString(bool shortLength = false, bool* formatted = nullptr);

    bool ok() const { return ok_; }
    bool atEnd() const;
    std::size_t part() const { return part_; }
    qsizetype offset() const { return pos_; }

private:
    bool ensure();
    std::vector<QByteArrayView> parts_;
    std::size_t part_ = 0;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

// Writes a little-endian value at pos of out.
void put16(QByteArray& out, qsizetype pos, std::uint16_t v);
void put32(QByteArray& out, qsizetype pos, std::uint32_t v);
inline std::uint8_t get8(QByteArrayView bytes, qsizetype pos)
{
    return static_cast<std::uint8_t>(bytes[pos]);
}
std::uint16_t get16(QByteArrayView bytes, qsizetype pos);
std::uint32_t get32(QByteArrayView bytes, qsizetype pos);
// The row of a cell or ROW record.
inline int rowOf(const Record& r)
{
    return get16(r.body, 0);
}

double rkValue(std::uint32_t rk);
// "#DIV/0!" and the other error texts; nullopt for a code that is not an error.
std::optional<QString> errorText(std::uint8_t code);

// Name of the text codec for a CODEPAGE value, as QStringDecoder takes it.
QByteArray codecName(std::uint16_t codepage);

// Whether a number format shows dates or times, and which parts.
struct DateKind
{
    bool date = false;
    bool time = false;
};
DateKind builtInDateKind(std::uint16_t formatIndex);
DateKind formatDateKind(const QString& format);
// The text a date serial shows as: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS";
// nullopt outside the dates a spreadsheet shows.
std::optional<QString> dateText(double serial, DateKind kind, bool date1904);

} // namespace rxdeck::workbook::biff
