// SPDX-License-Identifier: GPL-3.0-or-later
// Compiling formula token arrays to a small stack program for evaluate.cpp, with the areas the
// formula reads. Tokens whose effect cannot be told make the formula not evaluable.

#include "memories/workbook/evaluate.h"
#include "memories/workbook/tokens.h"

#include <array>
#include <cstring>

namespace rxdeck::workbook::formula {
namespace {

// The functions evaluated here: number, and the arguments they take.
struct FunctionInfo
{
    std::uint16_t id;
    int minArgs;
    int maxArgs;
};
constexpr std::array<FunctionInfo, 12> functions{{
    {fn::ifFn, 2, 3},
    {fn::sum, 1, 255},
    {fn::average, 1, 255},
    {fn::min, 1, 255},
    {fn::max, 1, 255},
    {fn::abs, 1, 1},
    {fn::intFn, 1, 1},
    {fn::sign, 1, 1},
    {fn::round, 2, 2},
    {fn::mod, 2, 2},
    {fn::roundUp, 2, 2},
    {fn::roundDown, 2, 2},
}};

const FunctionInfo* functionInfo(std::uint16_t id)
{
    for (const FunctionInfo& f : functions)
        if (f.id == id)
            return &f;
    return nullptr;
}
class TokenReader
{
public:
    TokenReader(QByteArrayView bytes, Biff biff, Place place, const ExternSheets& externs)
        : in_(bytes), biff_(biff), place_(place), externs_(externs)
    {
    }

    Compiled run()
    {
        out_.knownReads = true;
        out_.exact = true;
        int depth = 0; // values on the stack, to check the array is well formed
        for (qsizetype pos = 0; pos < in_.size();) {
            const auto size = tokenSize(in_, pos, biff_);
            if (!size || !step(u8(pos), pos + 1, depth) || (depth < 0 && stackKnown_)) {
                out_.exact = false;
                out_.knownReads = false;
                out_.ops.clear();
                return out_;
            }
            pos += *size;
        }
        if (stackKnown_ && depth != 1)
            out_.exact = false;
        if (!out_.exact)
            out_.ops.clear();
        return out_;
    }

private:
    bool biff8() const { return biff_ == Biff::V8; }
    std::uint8_t u8(qsizetype at) const { return static_cast<std::uint8_t>(in_[at]); }
    std::uint16_t u16(qsizetype at) const { return biff::get16(in_, at); }

    void push(Op op, int& depth)
    {
        out_.ops.push_back(std::move(op));
        ++depth;
    }
    void pushValue(Value v, int& depth) { push(Op{Op::Push, 0, 0, std::move(v), {}}, depth); }
    // A value that cannot be told here; where it comes from is not known either unless
    // knownReads.
    void pushUnknown(int& depth, bool knownReads = false)
    {
        out_.exact = false;
        out_.knownReads = out_.knownReads && knownReads;
        pushValue(Empty{}, depth);
    }
    void pushArea(Area a, int& depth)
    {
        out_.reads.push_back(a);
        push(Op{Op::Ref, 0, 0, {}, a}, depth);
    }

    // Row and column of an encoded cell address; relative ones count from the formula's cell
    // when `offsets` (tRefN, tAreaN).
    struct Coordinate
    {
        int row;
        int column;
    };
    Coordinate coordinate(qsizetype at, int index, int count, bool offsets) const
    {
        const AddressAt a = addressAt(at, index, count, biff_);
        const int rows = rowCount(biff_);
        int row = u16(a.row) & (rows - 1);
        int column = u8(a.column);
        if (offsets && (u16(a.flags) & rowRelative) != 0)
            row = (place_.row + (row >= rows / 2 ? row - rows : row)) & (rows - 1);
        if (offsets && (u16(a.flags) & columnRelative) != 0)
            column = (place_.column + static_cast<std::int8_t>(column)) & 0xFF;
        return {row, column};
    }

    // The sheet of a 3-D reference at pos; -1 for another workbook (nothing of this workbook
    // is read), nullopt when not known.
    std::optional<int> sheet3d(qsizetype at)
    {
        const ExternSheet e = sheets3d(in_, at, biff_, externs_);
        if (e.otherWorkbook)
            return -1;
        if (!e.ownWorkbook || e.firstSheet < 0 || e.firstSheet != e.lastSheet)
            return std::nullopt;
        return e.firstSheet;
    }

    // An area from two encoded addresses.
    Area area(int sheet, Coordinate a, Coordinate b) const
    {
        return Area{sheet, std::min(a.row, b.row), std::max(a.row, b.row),
                    std::min(a.column, b.column), std::max(a.column, b.column)};
    }

    bool reference(Token kind, qsizetype at, int& depth)
    {
        const bool offsets = kind == Token::RefN || kind == Token::AreaN;
        const bool is3d = kind == Token::Ref3d || kind == Token::Area3d;
        const bool isArea = kind == Token::Area || kind == Token::AreaN || kind == Token::Area3d;
        std::optional<int> sheet = place_.sheet;
        if (is3d) {
            sheet = sheet3d(at);
            at += sheetBytes(biff_);
        }
        const int count = isArea ? 2 : 1;
        const Coordinate first = coordinate(at, 0, count, offsets);
        const Coordinate second = coordinate(at, count - 1, count, offsets);
        if (!sheet || *sheet < 0) // another workbook is read from there, never from this one
            pushUnknown(depth, sheet.has_value());
        else
            pushArea(area(*sheet, first, second), depth);
        return true;
    }

    bool function(std::uint16_t id, int args, int& depth)
    {
        const FunctionInfo* info = functionInfo(id);
        if (info == nullptr || args < info->minArgs || args > info->maxArgs || args > depth) {
            out_.exact = false;
            depth = depth - std::min(args, depth) + 1;
            out_.ops.push_back(Op{Op::Push, 0, 0, Empty{}, {}});
            return true;
        }
        depth = depth - args + 1;
        out_.ops.push_back(Op{Op::Function, id, static_cast<std::uint8_t>(args), {}, {}});
        return true;
    }

    QString text(qsizetype at)
    {
        const int count = u8(at);
        const bool wide = biff8() && (u8(at + 1) & 0x01) != 0;
        at += biff8() ? 2 : 1;
        QString text;
        for (int i = 0; i < count; ++i) {
            if (!biff8() && u8(at + i) >= 0x80)
                out_.exact = false; // code-page text
            text.append(QChar(wide ? u16(at + 2 * i) : u8(at + i)));
        }
        return text;
    }

    // One token whose data starts at `at`, its size checked by tokenSize().
    bool step(std::uint8_t token, qsizetype at, int& depth)
    {
        const Token kind = tokenKind(token);
        switch (kind) {
        case Token::Binary:
        case Token::RefOperator: // intersection, union, range of references
            if (depth < 2 && stackKnown_)
                return false;
            --depth;
            if (kind == Token::Binary)
                out_.ops.push_back(Op{Op::Binary, token, 0, {}, {}});
            else
                out_.exact = false;
            return true;
        case Token::Unary:
            if (depth < 1 && stackKnown_)
                return false;
            out_.ops.push_back(Op{Op::Unary, token, 0, {}, {}});
            return true;
        case Token::Paren:
        case Token::MemArea: // a subexpression of references: they follow
        case Token::MemFunc:
            return true;
        case Token::MemErr:
            out_.exact = false;
            return true;
        case Token::MissArg:
            push(Op{Op::Missing, 0, 0, {}, {}}, depth);
            return true;
        case Token::Str:
            pushValue(text(at), depth);
            return true;
        case Token::Attr:
            if (u8(at) == attr::sum)
                return function(fn::sum, 1, depth);
            if ((u8(at) & attr::baxcel) != 0)
                out_.exact = false;
            return true; // IF, CHOOSE and skip jumps: every argument is evaluated anyway
        case Token::Err:
            pushValue(ErrorValue{u8(at)}, depth);
            return true;
        case Token::Bool:
            pushValue(u8(at) != 0, depth);
            return true;
        case Token::Int:
            pushValue(static_cast<double>(u16(at)), depth);
            return true;
        case Token::Num: {
            double v = 0;
            std::memcpy(&v, in_.data() + at, 8); // little-endian hosts only, as the reader
            pushValue(v, depth);
            return true;
        }
        case Token::Array: // its values after the token array
            pushUnknown(depth, true);
            return true;
        case Token::Func: {
            const std::uint16_t id = u16(at);
            const FunctionInfo* info = functionInfo(id);
            if (info == nullptr || info->minArgs != info->maxArgs) {
                // Its argument count is not known here: the references are still read.
                out_.exact = false;
                stackKnown_ = false;
                return true;
            }
            return function(id, info->minArgs, depth);
        }
        case Token::FuncVar: {
            const int args = u8(at) & 0x7F;
            const std::uint16_t id = u16(at + 1);
            if ((id & 0x8000) != 0)
                out_.exact = false; // a command
            return function(id & 0x7FFF, args, depth);
        }
        case Token::Name:
        case Token::NameX:
            pushUnknown(depth);
            return true;
        case Token::Ref:
        case Token::Area:
        case Token::RefN:
        case Token::AreaN:
        case Token::Ref3d:
        case Token::Area3d:
            return reference(kind, at, depth);
        case Token::RefErr:
            pushValue(ErrorValue{error::ref}, depth);
            return true;
        case Token::Exp:
        case Token::Unknown:
            break;
        }
        return false; // tExp, tTbl and tokens not understood
    }

    QByteArrayView in_;
    bool stackKnown_ = true; // every token's effect on the value stack is known
    Biff biff_;
    Place place_;
    const ExternSheets& externs_;
    Compiled out_;
};

} // namespace

Compiled compile(QByteArrayView rgce, Biff biff, Place place, const ExternSheets& externs)
{
    return TokenReader(rgce, biff, place, externs).run();
}

std::shared_ptr<const Compiled> CompileCache::compile(QByteArrayView rgce, Biff biff, Place place,
                                                      const ExternSheets& externs)
{
    const std::lock_guard lock(mutex_);
    if (biff != biff_ || externs != externs_) {
        entries_.clear();
        biff_ = biff;
        externs_ = externs;
    }
    const quint64 key = cells::cellKey(place.sheet, place.row, place.column);
    const auto found = entries_.constFind(key);
    if (found != entries_.cend() && QByteArrayView(found->tokens) == rgce)
        return found->compiled;
    auto compiled = std::make_shared<const Compiled>(formula::compile(rgce, biff, place, externs));
    entries_.insert(key, Entry{rgce.toByteArray(), compiled});
    return compiled;
}

} // namespace rxdeck::workbook::formula
