// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The formula tokens (ptgs) of BIFF5 and BIFF8 token arrays: what each id is and how many
// bytes it takes, in one table that every walker of a token array reads, after the Ptg
// classes of Apache POI. Internal to the workbook codec.

#include "memories/workbook/formularefs.h"

#include <cstdint>
#include <optional>
#include <QByteArrayView>

namespace rxdeck::workbook::formula {

enum class Token : std::uint8_t
{
    Unknown,     // not a token of BIFF5/BIFF8 as read here: the formula is not understood
    Exp,         // tExp, tTbl: the cell of the shared formula, array or table
    Binary,      // arithmetic, text and comparison operators
    RefOperator, // intersection, union, range of references
    Unary,       // unary plus and minus, percent
    Paren,       // parentheses: display only
    MissArg,
    Str,
    Attr,
    Err,
    Bool,
    Int,
    Num,
    // Operand tokens, by their base id (the class bits do not change the layout).
    Array,   // an array constant, its values after the token array
    Func,    // a function of fixed argument count
    FuncVar, // a function with its argument count
    Name,    // a defined name
    NameX,   // a name in another workbook or an add-in function
    Ref,     // a cell
    Area,    // an area
    RefN,    // a cell relative to the formula's cell (shared formulas, names)
    AreaN,   // an area relative to the formula's cell
    Ref3d,   // a cell on other sheets
    Area3d,  // an area on other sheets
    RefErr,  // references that were deleted: tRefErr, tAreaErr, tRefErr3d, tAreaErr3d
    MemArea, // a subexpression of references, its cached areas after the token array
    MemErr,  // tMemErr, tMemNoMem: a subexpression whose value is an error or too large
    MemFunc, // a subexpression that depends on a function
};

// The kind of the token with that id.
Token tokenKind(std::uint8_t id);

// Bytes of the token at pos of rgce with its data, nullopt where it is not understood or
// runs past the end of rgce.
std::optional<qsizetype> tokenSize(QByteArrayView rgce, qsizetype pos, Biff biff);

// Bytes of the sheet part of a 3-D reference.
constexpr qsizetype sheetBytes(Biff biff)
{
    return biff == Biff::V8 ? 2 : 14;
}

// Where address `index` (0 or 1) of a cell (count 1) or area (count 2) encoded at `at` keeps
// its parts: BIFF8 rows (2 bytes each), then columns (2 bytes each, the relative flags in
// them); BIFF5 rows (2 bytes each, the relative flags in them), then columns (1 byte each).
struct AddressAt
{
    qsizetype row = 0;
    qsizetype flags = 0; // the 16-bit field with rowRelative and columnRelative
    qsizetype column = 0;
};
constexpr std::uint16_t rowRelative = 0x8000;
constexpr std::uint16_t columnRelative = 0x4000;
constexpr AddressAt addressAt(qsizetype at, int index, int count, Biff biff)
{
    const qsizetype row = at + 2 * index;
    if (biff == Biff::V8)
        return {row, at + 2 * count + 2 * index, at + 2 * count + 2 * index};
    return {row, row, at + 2 * count + index};
}

// The meaning of a tAttr token, its first data byte.
namespace attr {
inline constexpr std::uint8_t semiVolatile = 0x01;
inline constexpr std::uint8_t ifJump = 0x02;
inline constexpr std::uint8_t choose = 0x04; // a jump table of count + 1 offsets follows
inline constexpr std::uint8_t skip = 0x08;
inline constexpr std::uint8_t sum = 0x10;    // SUM of one argument
inline constexpr std::uint8_t baxcel = 0x20; // an assignment-style formula
inline constexpr std::uint8_t space = 0x40;
} // namespace attr

} // namespace rxdeck::workbook::formula
