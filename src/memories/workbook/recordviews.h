// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Views of the records the editor reads and changes, with their fields by name: cell records,
// ROW, FORMULA, and the SHRFMLA, ARRAY and TABLE records that follow a formula. A view reads the
// body of a record it does not own; the record must outlive it. Internal to the workbook codec.

#include "memories/workbook/biff.h"

#include <cstdint>
#include <optional>
#include <QByteArrayView>
#include <utility>

namespace rxdeck::workbook::biff {

// A record holding one or more cells of one row: rw col ixfe ...; MULRK and MULBLANK hold
// rw colFirst, an ixfe (and RK number) per cell, colLast.
class CellRecord
{
public:
    static std::optional<CellRecord> of(const Record& record)
    {
        if (!isCell(record.type) || record.body.size() < 6)
            return std::nullopt;
        return CellRecord(record);
    }

    int row() const { return get16(body_, 0); }
    int firstColumn() const { return get16(body_, 2); }
    // Bytes per cell of a MULRK or MULBLANK; 0 for records of one cell.
    qsizetype step() const { return type_ == type::mulRk ? 6 : type_ == type::mulBlank ? 2 : 0; }
    int lastColumn() const
    {
        const qsizetype s = step();
        return firstColumn() + (s == 0 ? 0 : static_cast<int>((body_.size() - 6) / s) - 1);
    }
    bool covers(int column) const { return firstColumn() <= column && column <= lastColumn(); }
    // The XF of one cell it covers.
    std::uint16_t xf(int column) const
    {
        return get16(body_, 4 + step() * (column - firstColumn()));
    }

private:
    explicit CellRecord(const Record& record) : body_(record.body), type_(record.type) {}
    QByteArrayView body_;
    std::uint16_t type_;
};

// ROW: rw colMic colMac miyRw irwMac reserved grbit ixfe.
class RowRecord
{
public:
    static std::optional<RowRecord> of(const Record& record)
    {
        if (record.type != type::row || record.body.size() < 16)
            return std::nullopt;
        return RowRecord(record.body);
    }

    int row() const { return get16(body_, 0); }
    // The columns its cells span: the first, and one past the last.
    int firstColumn() const { return get16(body_, 2); }
    int columnEnd() const { return get16(body_, 4); }
    static void setColumns(QByteArray& body, int first, int end)
    {
        put16(body, 2, static_cast<std::uint16_t>(first));
        put16(body, 4, static_cast<std::uint16_t>(end));
    }
    // In twips; a hidden row has none.
    int height() const { return (get8(body_, 12) & 0x20) != 0 ? 0 : get16(body_, 6) & 0x7FFF; }
    // The XF of the row's own format, where it has one.
    std::optional<std::uint16_t> xf() const
    {
        if ((get16(body_, 12) & 0x0080) == 0)
            return std::nullopt;
        return static_cast<std::uint16_t>(get16(body_, 14) & 0x0FFF);
    }

private:
    explicit RowRecord(QByteArrayView body) : body_(body) {}
    QByteArrayView body_;
};

// The cce tokens at `at` of a body, their count (cce) in the two bytes before them.
inline std::optional<QByteArrayView> tokensFrom(QByteArrayView body, qsizetype at)
{
    if (at < 2 || body.size() < at || at + get16(body, at - 2) > body.size())
        return std::nullopt;
    return body.sliced(at, get16(body, at - 2));
}

// FORMULA: rw col ixfe result(8) grbit chn(4) cce rgce; the BIFF3/4 layout some exporters
// write has no chn.
class FormulaRecord
{
public:
    static constexpr qsizetype resultAt = 6; // 8 bytes: a number, or a kind and a value
    static constexpr qsizetype resultSize = 8;
    static constexpr qsizetype flagsAt = 14;
    static constexpr std::uint16_t alwaysCalc = 0x0001;
    static constexpr std::uint16_t calcOnLoad = 0x0002;
    // What a result that is not a number holds.
    enum class Kind : std::uint8_t
    {
        Text = 0, // in the STRING record after it
        Boolean = 1,
        Error = 2,
        EmptyText = 3,
    };

    // A view of a FORMULA record whose body reaches its result and flags; nullopt otherwise.
    static std::optional<FormulaRecord> of(const Record& record)
    {
        if (!isFormula(record.type))
            return std::nullopt;
        const FormulaRecord view(record);
        if (record.body.size() < view.tokensAt_ - (record.type == type::formula ? 2 : 0))
            return std::nullopt;
        return view;
    }

    int row() const { return get16(body_, 0); }
    int column() const { return get16(body_, 2); }
    std::uint16_t xf() const { return get16(body_, 4); }
    std::uint16_t flags() const { return get16(body_, flagsAt); }

    bool holdsNumber() const { return get16(body_, resultAt + 6) != 0xFFFF; }
    bool holds(Kind k) const { return !holdsNumber() && kind() == k; }
    Kind kind() const { return static_cast<Kind>(body_[resultAt]); }
    // The boolean or error code of a result that is not a number.
    std::uint8_t code() const { return static_cast<std::uint8_t>(body_[resultAt + 2]); }

    // The whole fixed part is there, up to the token count.
    bool complete() const { return body_.size() >= tokensAt_; }
    // The token array; nullopt where the count runs past the body.
    std::optional<QByteArrayView> tokens() const { return tokensFrom(body_, tokensAt_); }
    qsizetype tokensAt() const { return tokensAt_; }

    // The cell a formula of one tExp or tTbl token stands for: the first cell of its shared
    // formula, array or table.
    std::optional<std::pair<int, int>> anchor() const
    {
        const qsizetype at = tokensAt_;
        if (body_.size() < at + 5 || (body_[at] != 0x01 && body_[at] != 0x02))
            return std::nullopt;
        return std::pair<int, int>{get16(body_, at + 1), get16(body_, at + 3)};
    }

private:
    explicit FormulaRecord(const Record& record)
        : body_(record.body), tokensAt_(record.type == type::formula ? 22 : 18)
    {
    }
    QByteArrayView body_;
    qsizetype tokensAt_;
};

// The cell range SHRFMLA, ARRAY and TABLE records start with: rwFirst rwLast colFirst colLast.
// SHRFMLA goes on with reserved(2) cce rgce, ARRAY with grbit chn(4) cce rgce.
class RangeRecord
{
public:
    static std::optional<RangeRecord> of(const Record& record)
    {
        if ((record.type != type::shrFmla && record.type != type::array &&
             record.type != type::table) ||
            record.body.size() < 6)
            return std::nullopt;
        return RangeRecord(record);
    }

    int firstRow() const { return get16(body_, 0); }
    int lastRow() const { return get16(body_, 2); }
    int firstColumn() const { return static_cast<std::uint8_t>(body_[4]); }
    int lastColumn() const { return static_cast<std::uint8_t>(body_[5]); }
    static void setRows(QByteArray& body, int first, int last)
    {
        put16(body, 0, static_cast<std::uint16_t>(first));
        put16(body, 2, static_cast<std::uint16_t>(last));
    }

    // Where the token array starts: 10 for SHRFMLA, 14 for ARRAY, none for TABLE.
    qsizetype tokensAt() const
    {
        return type_ == type::shrFmla ? 10 : type_ == type::array ? 14 : 0;
    }
    // The token array; nullopt where the record has none or it runs past the body.
    std::optional<QByteArrayView> tokens() const { return tokensFrom(body_, tokensAt()); }

private:
    explicit RangeRecord(const Record& record) : body_(record.body), type_(record.type) {}
    QByteArrayView body_;
    std::uint16_t type_;
};

} // namespace rxdeck::workbook::biff
