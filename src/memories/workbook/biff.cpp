// SPDX-License-Identifier: GPL-3.0-or-later
// Record splitting and field decoding shared by the reader and the editor.

#include "memories/workbook/biff.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <QDate>

namespace rxdeck::workbook::biff {

bool isCell(std::uint16_t t)
{
    constexpr std::array cells{type::blank,    type::number,  type::label,     type::boolErr,
                               type::rk,       type::mulRk,   type::mulBlank,  type::rString,
                               type::labelSst, type::formula, type::oldFormula};
    return std::find(cells.begin(), cells.end(), t) != cells.end();
}

bool isFormula(std::uint16_t t)
{
    return t == type::formula || t == type::oldFormula;
}

bool isFormulaPart(std::uint16_t t)
{
    return t == type::string || t == type::shrFmla || t == type::array || t == type::table ||
           t == type::continued;
}

std::uint16_t get16(QByteArrayView bytes, qsizetype pos)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[pos]) |
                                      static_cast<std::uint8_t>(bytes[pos + 1]) << 8);
}

std::uint32_t get32(QByteArrayView bytes, qsizetype pos)
{
    return get16(bytes, pos) | static_cast<std::uint32_t>(get16(bytes, pos + 2)) << 16;
}

void put16(QByteArray& out, qsizetype pos, std::uint16_t v)
{
    out[pos] = static_cast<char>(v & 0xFF);
    out[pos + 1] = static_cast<char>(v >> 8);
}

void put32(QByteArray& out, qsizetype pos, std::uint32_t v)
{
    put16(out, pos, static_cast<std::uint16_t>(v));
    put16(out, pos + 2, static_cast<std::uint16_t>(v >> 16));
}

std::optional<Records> split(const QByteArray& stream)
{
    Records out;
    qsizetype pos = 0;
    int depth = 0;
    bool seenSubstream = false;
    while (pos < stream.size()) {
        const qsizetype left = stream.size() - pos;
        const bool whole = left >= 4 && left - 4 >= get16(stream, pos + 2);
        if (!whole) {
            if (depth != 0 || !seenSubstream)
                return std::nullopt;
            out.tail = stream.mid(pos);
            break;
        }
        const std::uint16_t t = get16(stream, pos);
        const qsizetype length = get16(stream, pos + 2);
        if (t == type::bof) {
            ++depth;
            seenSubstream = true;
        } else if (t == type::eof && depth > 0) {
            --depth;
        }
        out.records.push_back(Record{t, stream.mid(pos + 4, length)});
        pos += 4 + length;
    }
    if (depth != 0 || !seenSubstream)
        return std::nullopt;
    return out;
}

std::vector<std::size_t> ownRecords(const std::vector<Record>& records)
{
    std::vector<std::size_t> out;
    Nesting nesting;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (nesting.own(records[i]))
            out.push_back(i);
    return out;
}

std::size_t cellEnd(const std::vector<Record>& records, std::size_t at)
{
    const bool formula = isFormula(records[at].type);
    std::size_t end = at + 1;
    while (end < records.size() &&
           (formula ? isFormulaPart(records[end].type) : records[end].type == type::continued))
        ++end;
    return end;
}

std::vector<QByteArrayView> parts(const std::vector<Record>& records, std::size_t at)
{
    std::vector<QByteArrayView> out{records[at].body};
    for (std::size_t i = at + 1; i < records.size() && records[i].type == type::continued; ++i)
        out.emplace_back(records[i].body);
    return out;
}

void splice(std::vector<Record>& records, std::size_t from, std::size_t to,
            std::vector<Record> with)
{
    const auto erased = records.erase(records.begin() + static_cast<std::ptrdiff_t>(from),
                                      records.begin() + static_cast<std::ptrdiff_t>(to));
    records.insert(erased, std::make_move_iterator(with.begin()),
                   std::make_move_iterator(with.end()));
}

void appendRecord(QByteArray& out, std::uint16_t t, const QByteArray& body)
{
    const char header[4] = {static_cast<char>(t & 0xFF), static_cast<char>(t >> 8),
                            static_cast<char>(body.size() & 0xFF),
                            static_cast<char>(body.size() >> 8)};
    out.append(header, 4);
    out.append(body);
}

bool Reader::ensure()
{
    while (part_ < parts_.size() && pos_ >= parts_[part_].size()) {
        ++part_;
        pos_ = 0;
    }
    if (part_ >= parts_.size())
        ok_ = false;
    return ok_;
}

bool Reader::atEnd() const
{
    for (std::size_t p = part_; p < parts_.size(); ++p)
        if ((p == part_ ? pos_ : 0) < parts_[p].size())
            return false;
    return true;
}

std::uint8_t Reader::u8()
{
    if (!ok_ || !ensure())
        return 0;
    return static_cast<std::uint8_t>(parts_[part_][pos_++]);
}

std::uint16_t Reader::u16()
{
    const std::uint8_t lo = u8();
    return static_cast<std::uint16_t>(lo | u8() << 8);
}

std::uint32_t Reader::u32()
{
    const std::uint16_t lo = u16();
    return lo | static_cast<std::uint32_t>(u16()) << 16;
}

double Reader::f64()
{
    const std::uint32_t lo = u32();
    const std::uint64_t hi = u32();
    return std::bit_cast<double>(lo | hi << 32);
}

void Reader::skip(qsizetype n)
{
    while (n > 0 && ok_ && ensure()) {
        const qsizetype step = std::min(n, parts_[part_].size() - pos_);
        pos_ += step;
        n -= step;
    }
}

QByteArray Reader::bytes(qsizetype n)
{
    QByteArray out;
    while (n > 0 && ok_ && ensure()) {
        const qsizetype step = std::min(n, parts_[part_].size() - pos_);
        out.append(parts_[part_].sliced(pos_, step));
        pos_ += step;
        n -= step;
    }
    return ok_ ? out : QByteArray();
}

QString Reader::chars(qsizetype count, bool wide)
{
    QString out;
    while (count > 0 && ok_) {
        if (part_ >= parts_.size() || pos_ >= parts_[part_].size()) {
            // The characters go on in the next record, which starts with the flags again.
            if (part_ + 1 >= parts_.size()) {
                ok_ = false;
                break;
            }
            ++part_;
            pos_ = 0;
            if (parts_[part_].isEmpty()) {
                ok_ = false;
                break;
            }
            wide = (static_cast<std::uint8_t>(parts_[part_][pos_++]) & 0x01) != 0;
            continue;
        }
        const QByteArrayView part = parts_[part_];
        const qsizetype width = wide ? 2 : 1;
        const qsizetype n = std::min(count, (part.size() - pos_) / width);
        if (n == 0) {
            ok_ = false; // half a character at the end of a record
            break;
        }
        if (wide) {
            out.reserve(out.size() + n);
            for (qsizetype i = 0; i < n; ++i)
                out.append(QChar(get16(part, pos_ + 2 * i)));
        } else {
            out.append(QLatin1StringView(part.data() + pos_, n));
        }
        pos_ += n * width;
        count -= n;
    }
    return ok_ ? out : QString();
}

QString Reader::unicodeString(bool shortLength, bool* formatted)
{
    const qsizetype count = shortLength ? u8() : u16();
    const std::uint8_t flags = u8();
    const std::uint16_t runs = (flags & 0x08) != 0 ? u16() : 0;
    const std::uint32_t extension = (flags & 0x04) != 0 ? u32() : 0;
    if (!ok_)
        return {};
    QString text = chars(count, (flags & 0x01) != 0);
    if (formatted != nullptr)
        *formatted = runs > 0;
    skip(qsizetype{4} * runs);
    skip(extension);
    return text;
}

double rkValue(std::uint32_t rk)
{
    double value = 0;
    if ((rk & 0x02) != 0)
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    return (rk & 0x01) != 0 ? value / 100 : value;
}

std::optional<QString> errorText(std::uint8_t code)
{
    constexpr std::array<std::pair<std::uint8_t, const char*>, 7> errors{{
        {0x00, "#NULL!"},
        {0x07, "#DIV/0!"},
        {0x0F, "#VALUE!"},
        {0x17, "#REF!"},
        {0x1D, "#NAME?"},
        {0x24, "#NUM!"},
        {0x2A, "#N/A"},
    }};
    for (const auto& [c, text] : errors)
        if (c == code)
            return QString::fromLatin1(text);
    return std::nullopt;
}

QByteArray codecName(std::uint16_t codepage)
{
    constexpr std::array<std::pair<std::uint16_t, const char*>, 9> codecs{{
        {367, "US-ASCII"},
        {932, "Shift_JIS"},
        {936, "GBK"},
        {949, "windows-949"},
        {950, "Big5"},
        {10000, "macintosh"},
        {32768, "macintosh"},
        {1200, "windows-1252"},
        {32769, "windows-1252"},
    }};
    for (const auto& [page, name] : codecs)
        if (page == codepage)
            return name;
    if (codepage == 874 || (codepage >= 1250 && codepage <= 1258))
        return "windows-" + QByteArray::number(codepage);
    if (codepage >= 437 && codepage <= 869)
        return "IBM" + QByteArray::number(codepage);
    return "windows-1252";
}

DateKind builtInDateKind(std::uint16_t formatIndex)
{
    if (formatIndex >= 14 && formatIndex <= 17)
        return {true, false};
    if ((formatIndex >= 18 && formatIndex <= 21) || (formatIndex >= 45 && formatIndex <= 47))
        return {false, true};
    if (formatIndex == 22)
        return {true, true};
    return {};
}

DateKind formatDateKind(const QString& format)
{
    DateKind kind;
    const QString f = format.toLower();
    QChar previous; // last date/time letter, to tell minutes from months
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u';')
            break; // the first section decides
        if (c == u'"') {
            i = f.indexOf(u'"', i + 1);
            if (i < 0)
                break;
            continue;
        }
        if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
            continue;
        }
        if (c == u'[') {
            const qsizetype end = f.indexOf(u']', i + 1);
            const QString inside = f.mid(i + 1, end < 0 ? -1 : end - i - 1);
            if (!inside.isEmpty() &&
                (inside.count(u'h') == inside.size() || inside.count(u'm') == inside.size() ||
                 inside.count(u's') == inside.size())) {
                kind.time = true; // elapsed hours, minutes or seconds
                previous = inside.front();
            }
            if (end < 0)
                break;
            i = end;
            continue;
        }
        if (f.mid(i, 5) == u"am/pm") {
            i += 4;
            continue;
        }
        if (f.mid(i, 3) == u"a/p") {
            i += 2;
            continue;
        }
        if (c == u'd' || c == u'y') {
            kind.date = true;
        } else if (c == u'h' || c == u's') {
            kind.time = true;
        } else if (c == u'm') {
            qsizetype next = i;
            while (next < f.size() && f[next] == u'm')
                ++next;
            const qsizetype runEnd = next;
            while (next < f.size() && !f[next].isLetter() && f[next] != u'"')
                ++next;
            const bool minutes = previous == u'h' || (next < f.size() && f[next] == u's');
            (minutes ? kind.time : kind.date) = true;
            i = runEnd - 1; // "mm" is one field
        } else {
            continue;
        }
        previous = c;
    }
    return kind;
}

std::optional<QString> dateText(double serial, DateKind kind, bool date1904)
{
    // 9999-12-31 is the last date a spreadsheet shows.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466)
        return std::nullopt;
    const auto seconds = static_cast<qint64>(std::llround(serial * 86400.0));
    const qint64 days = seconds / 86400;
    const qint64 time = seconds % 86400;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(time / 3600, 2, 10, QChar(u'0'))
                              .arg(time / 60 % 60, 2, 10, QChar(u'0'))
                              .arg(time % 60, 2, 10, QChar(u'0'));
    if (!kind.date)
        return clock;
    QString day;
    if (date1904)
        day = QDate(1904, 1, 1).addDays(days).toString(Qt::ISODate);
    else if (days == 60)
        day = QStringLiteral("1900-02-29"); // the leap day 1900 did not have, as spreadsheets count
    else
        day = QDate(1899, 12, days < 60 ? 31 : 30).addDays(days).toString(Qt::ISODate);
    return kind.time ? day + u' ' + clock : day;
}

} // namespace rxdeck::workbook::biff
