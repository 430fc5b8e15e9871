// SPDX-License-Identifier: GPL-3.0-or-later
// Token ids and sizes as the file format defines them for BIFF5 and BIFF8. Operand tokens
// come in three classes (reference, value, array: 0x20, 0x40, 0x60 on the base id), which
// share one layout. Ids the format lists but no writer of these versions uses (tNlr, tSheet,
// tMemAreaN, tMemNoMemN) are not understood, as in Apache POI.

#include "memories/workbook/tokens.h"

#include <array>

namespace rxdeck::workbook::formula {
namespace {

struct Entry
{
    Token kind = Token::Unknown;
    std::uint8_t size5 = 0; // data bytes after the id in BIFF5
    std::uint8_t size8 = 0; // and in BIFF8
};

constexpr std::array<Entry, 0x40> table = [] {
    std::array<Entry, 0x40> t{};
    t[0x01] = t[0x02] = {Token::Exp, 4, 4};
    for (int id = 0x03; id <= 0x0E; ++id)
        t[id] = {Token::Binary, 0, 0};
    for (int id = 0x0F; id <= 0x11; ++id)
        t[id] = {Token::RefOperator, 0, 0};
    for (int id = 0x12; id <= 0x14; ++id)
        t[id] = {Token::Unary, 0, 0};
    t[0x15] = {Token::Paren, 0, 0};
    t[0x16] = {Token::MissArg, 0, 0};
    t[0x17] = {Token::Str, 1, 2};  // and the characters
    t[0x19] = {Token::Attr, 3, 3}; // and a CHOOSE jump table
    t[0x1C] = {Token::Err, 1, 1};
    t[0x1D] = {Token::Bool, 1, 1};
    t[0x1E] = {Token::Int, 2, 2};
    t[0x1F] = {Token::Num, 8, 8};
    t[0x20] = {Token::Array, 7, 7};
    t[0x21] = {Token::Func, 2, 2};
    t[0x22] = {Token::FuncVar, 3, 3};
    t[0x23] = {Token::Name, 14, 4};
    t[0x24] = {Token::Ref, 3, 4};
    t[0x25] = {Token::Area, 6, 8};
    t[0x26] = {Token::MemArea, 6, 6};
    t[0x27] = t[0x28] = {Token::MemErr, 6, 6};
    t[0x29] = {Token::MemFunc, 2, 2};
    t[0x2A] = {Token::RefErr, 3, 4};
    t[0x2B] = {Token::RefErr, 6, 8};
    t[0x2C] = {Token::RefN, 3, 4};
    t[0x2D] = {Token::AreaN, 6, 8};
    t[0x39] = {Token::NameX, 24, 6};
    t[0x3A] = {Token::Ref3d, 17, 6};
    t[0x3B] = {Token::Area3d, 20, 10};
    t[0x3C] = {Token::RefErr, 17, 6};
    t[0x3D] = {Token::RefErr, 20, 10};
    return t;
}();

const Entry& entry(std::uint8_t id)
{
    if (id >= 0x80)
        return table[0];
    return table[id < 0x20 ? id : 0x20 | (id & 0x1F)];
}

} // namespace

Token tokenKind(std::uint8_t id)
{
    return entry(id).kind;
}

std::optional<qsizetype> tokenSize(QByteArrayView rgce, qsizetype pos, Biff biff)
{
    if (pos < 0 || pos >= rgce.size())
        return std::nullopt;
    const Entry& e = entry(biff::get8(rgce, pos));
    if (e.kind == Token::Unknown)
        return std::nullopt;
    qsizetype size = 1 + (biff == Biff::V8 ? e.size8 : e.size5);
    if (pos + size > rgce.size())
        return std::nullopt;
    if (e.kind == Token::Str) {
        // BIFF8: a count and a flags byte whose low bit marks 16-bit characters; the other
        // bits are reserved and carry no rich text or phonetic parts in a token.
        const bool wide = biff == Biff::V8 && (biff::get8(rgce, pos + 2) & 0x01) != 0;
        size += qsizetype{biff::get8(rgce, pos + 1)} * (wide ? 2 : 1);
    } else if (e.kind == Token::Attr) {
        const std::uint8_t type = biff::get8(rgce, pos + 1);
        switch (type) {
        case attr::choose:
            size +=
                2 * (qsizetype{biff::get8(rgce, pos + 2)} + (biff::get8(rgce, pos + 3) << 8) + 1);
            break;
        case attr::semiVolatile:
        case attr::ifJump:
        case attr::skip:
        case attr::sum:
        case attr::baxcel:
        case attr::baxcel | attr::semiVolatile:
        case attr::space:
        case attr::space | attr::semiVolatile:
            break;
        default:
            return std::nullopt; // no token of the format
        }
    }
    if (pos + size > rgce.size())
        return std::nullopt;
    return size;
}

} // namespace rxdeck::workbook::formula
