// SPDX-License-Identifier: GPL-3.0-or-later
// Compiling formula token arrays to a small stack program, and running it. The rules are those
// of spreadsheet programs (Excel, LibreOffice, gnumeric agree on them for what is accepted here);
// where they depend on the locale, on collation or on display formats, the formula counts as not
// evaluable, so the caller marks it for the spreadsheet program to recalculate.

#include "memories/workbook/evaluate.h"

#include <array>
#include <cmath>
#include <cstring>

namespace rxdeck::workbook::formula {
namespace {

namespace error {
constexpr std::uint8_t divZero = 0x07;
constexpr std::uint8_t value = 0x0F;
constexpr std::uint8_t ref = 0x17;
constexpr std::uint8_t num = 0x24;
} // namespace error

namespace fn {
constexpr std::uint16_t ifFn = 1;
constexpr std::uint16_t sum = 4;
constexpr std::uint16_t average = 5;
constexpr std::uint16_t min = 6;
constexpr std::uint16_t max = 7;
constexpr std::uint16_t abs = 24;
constexpr std::uint16_t intFn = 25;
constexpr std::uint16_t sign = 26;
constexpr std::uint16_t round = 27;
constexpr std::uint16_t mod = 39;
constexpr std::uint16_t roundUp = 212;
constexpr std::uint16_t roundDown = 213;
} // namespace fn

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

constexpr std::uint8_t tAdd = 0x03, tSub = 0x04, tMul = 0x05, tDiv = 0x06, tPower = 0x07,
                       tConcat = 0x08, tLt = 0x09, tLe = 0x0A, tEq = 0x0B, tGe = 0x0C, tGt = 0x0D,
                       tNe = 0x0E, tUplus = 0x12, tUminus = 0x13, tPercent = 0x14;

class TokenReader
{
public:
    TokenReader(QByteArrayView bytes, Biff biff, Place place, const ExternSheets& externs)
        : in_(bytes), biff8_(biff == Biff::V8), place_(place), externs_(externs)
    {
    }

    Compiled run()
    {
        out_.knownReads = true;
        out_.exact = true;
        int depth = 0; // values on the stack, to check the array is well formed
        while (pos_ < in_.size()) {
            const std::uint8_t token = u8(pos_++);
            if (!step(token, depth) || (depth < 0 && stackKnown_)) {
                out_.exact = false;
                out_.knownReads = false;
                out_.ops.clear();
                return out_;
            }
        }
        if ((stackKnown_ && depth != 1) || !ok_) {
            out_.exact = false;
            if (!ok_)
                out_.knownReads = false;
        }
        if (!out_.exact)
            out_.ops.clear();
        return out_;
    }

private:
    bool need(qsizetype n)
    {
        if (pos_ + n > in_.size())
            ok_ = false;
        return ok_;
    }
    std::uint8_t u8(qsizetype at) const { return static_cast<std::uint8_t>(in_[at]); }
    std::uint16_t u16(qsizetype at) const
    {
        return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8));
    }

    void push(Op op, int& depth)
    {
        out_.ops.push_back(std::move(op));
        ++depth;
    }
    void pushValue(Value v, int& depth) { push(Op{Op::Push, 0, 0, std::move(v), {}}, depth); }
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
    Coordinate coordinate(std::uint16_t rowField, std::uint16_t columnField, bool offsets) const
    {
        if (biff8_) {
            const bool rowRelative = (columnField & 0x8000) != 0;
            const bool columnRelative = (columnField & 0x4000) != 0;
            int row = rowField;
            int column = columnField & 0x00FF;
            if (offsets && rowRelative)
                row = (place_.row + static_cast<std::int16_t>(rowField)) & 0xFFFF;
            if (offsets && columnRelative)
                column = (place_.column + static_cast<std::int8_t>(column)) & 0xFF;
            return {row, column};
        }
        const bool rowRelative = (rowField & 0x8000) != 0;
        const bool columnRelative = (rowField & 0x4000) != 0;
        int row = rowField & 0x3FFF;
        int column = columnField & 0xFF;
        if (offsets && rowRelative) {
            const int offset = (row & 0x2000) != 0 ? row - 0x4000 : row;
            row = (place_.row + offset) & 0x3FFF;
        }
        if (offsets && columnRelative)
            column = (place_.column + static_cast<std::int8_t>(column)) & 0xFF;
        return {row, column};
    }

    // The sheet of a 3-D reference at pos; -1 for another workbook (nothing of this workbook
    // is read), nullopt when not known.
    std::optional<int> sheet3d(qsizetype at)
    {
        if (biff8_) {
            const std::uint16_t index = u16(at);
            if (index >= externs_.size())
                return std::nullopt;
            const ExternSheet& e = externs_[index];
            if (e.otherWorkbook)
                return -1;
            if (!e.ownWorkbook || e.firstSheet < 0 || e.firstSheet != e.lastSheet)
                return std::nullopt;
            return e.firstSheet;
        }
        const auto index = static_cast<std::int16_t>(u16(at));
        if (index > 0)
            return -1;
        const auto first = static_cast<std::int16_t>(u16(at + 10));
        const auto last = static_cast<std::int16_t>(u16(at + 12));
        if (index == 0 || first < 0 || first != last)
            return std::nullopt;
        return first;
    }

    // An area from two encoded addresses.
    Area area(int sheet, Coordinate a, Coordinate b) const
    {
        return Area{sheet, std::min(a.row, b.row), std::max(a.row, b.row),
                    std::min(a.column, b.column), std::max(a.column, b.column)};
    }

    bool reference(std::uint8_t base, int& depth)
    {
        const bool offsets = base == 0x2C || base == 0x2D;
        const bool is3d = base == 0x3A || base == 0x3B;
        const bool isArea = base == 0x25 || base == 0x2D || base == 0x3B;
        const qsizetype sheetBytes = is3d ? (biff8_ ? 2 : 14) : 0;
        const qsizetype cellBytes = biff8_ ? 4 : 3;
        const qsizetype size = sheetBytes + (isArea ? 2 * cellBytes : cellBytes);
        if (!need(size))
            return false;
        std::optional<int> sheet = place_.sheet;
        if (is3d)
            sheet = sheet3d(pos_);
        const qsizetype at = pos_ + sheetBytes;
        pos_ += size;
        Coordinate first{}, second{};
        if (biff8_) {
            if (isArea) {
                first = coordinate(u16(at), u16(at + 4), offsets);
                second = coordinate(u16(at + 2), u16(at + 6), offsets);
            } else {
                first = second = coordinate(u16(at), u16(at + 2), offsets);
            }
        } else {
            if (isArea) {
                first = coordinate(u16(at), u8(at + 4), offsets);
                second = coordinate(u16(at + 2), u8(at + 5), offsets);
            } else {
                first = second = coordinate(u16(at), u8(at + 2), offsets);
            }
        }
        if (!sheet) {
            out_.knownReads = false;
            out_.exact = false;
            pushValue(Empty{}, depth);
            return true;
        }
        if (*sheet < 0) { // another workbook: read from there, never from this one
            out_.exact = false;
            pushValue(Empty{}, depth);
            return true;
        }
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

    bool step(std::uint8_t token, int& depth)
    {
        if (token >= tAdd && token <= tNe) {
            if (depth < 2 && stackKnown_)
                return false;
            --depth;
            out_.ops.push_back(Op{Op::Binary, token, 0, {}, {}});
            return true;
        }
        if (token >= 0x0F && token <= 0x11) { // intersection, union, range of references
            if (depth < 2 && stackKnown_)
                return false;
            --depth;
            out_.exact = false;
            return true;
        }
        switch (token) {
        case tUplus:
        case tUminus:
        case tPercent:
            if (depth < 1 && stackKnown_)
                return false;
            out_.ops.push_back(Op{Op::Unary, token, 0, {}, {}});
            return true;
        case 0x15: // parentheses: display only
            return true;
        case 0x16:
            push(Op{Op::Missing, 0, 0, {}, {}}, depth);
            return true;
        case 0x17: { // text
            if (!need(1))
                return false;
            const int count = u8(pos_++);
            if (biff8_) {
                if (!need(1))
                    return false;
                const bool wide = (u8(pos_++) & 0x01) != 0;
                if (!need(count * (wide ? 2 : 1)))
                    return false;
                QString text;
                for (int i = 0; i < count; ++i)
                    text.append(QChar(wide ? u16(pos_ + 2 * i) : u8(pos_ + i)));
                pos_ += count * (wide ? 2 : 1);
                pushValue(text, depth);
                return true;
            }
            if (!need(count))
                return false;
            QString text;
            for (int i = 0; i < count; ++i) {
                if (u8(pos_ + i) >= 0x80)
                    out_.exact = false; // code-page text
                text.append(QChar(u8(pos_ + i)));
            }
            pos_ += count;
            pushValue(text, depth);
            return true;
        }
        case 0x19: { // attributes
            if (!need(3))
                return false;
            const std::uint8_t flags = u8(pos_);
            const std::uint16_t data = u16(pos_ + 1);
            pos_ += 3;
            if ((flags & 0x04) != 0) { // CHOOSE jump table
                if (!need(2 * (qsizetype{data} + 1)))
                    return false;
                pos_ += 2 * (qsizetype{data} + 1);
            }
            if ((flags & 0x10) != 0) // SUM of one argument
                return function(fn::sum, 1, depth);
            if ((flags & 0x20) != 0)
                out_.exact = false;
            return true; // IF and skip jumps: every argument is evaluated anyway
        }
        case 0x1C:
            if (!need(1))
                return false;
            pushValue(ErrorValue{u8(pos_++)}, depth);
            return true;
        case 0x1D:
            if (!need(1))
                return false;
            pushValue(u8(pos_++) != 0, depth);
            return true;
        case 0x1E:
            if (!need(2))
                return false;
            pushValue(static_cast<double>(u16(pos_)), depth);
            pos_ += 2;
            return true;
        case 0x1F: {
            if (!need(8))
                return false;
            double v = 0;
            std::memcpy(&v, in_.data() + pos_, 8); // little-endian hosts only, as the reader
            pos_ += 8;
            pushValue(v, depth);
            return true;
        }
        default:
            break;
        }
        if (token < 0x20 || token >= 0x80)
            return false; // tExp, tTbl, tExtend and unknown tokens
        const std::uint8_t base = (token & 0x1F) | 0x20;
        switch (base) {
        case 0x20: // array constant, its values after the token array
            if (!need(7))
                return false;
            pos_ += 7;
            out_.exact = false;
            pushValue(Empty{}, depth);
            return true;
        case 0x21: {
            if (!need(2))
                return false;
            const std::uint16_t id = u16(pos_);
            pos_ += 2;
            const FunctionInfo* info = functionInfo(id);
            if (info == nullptr || info->minArgs != info->maxArgs) {
                // Its argument count is not known here: the references are still read.
                out_.exact = false;
                stackKnown_ = false;
                return true;
            }
            return function(id, info->minArgs, depth);
        }
        case 0x22: {
            if (!need(3))
                return false;
            const int args = u8(pos_) & 0x7F;
            const std::uint16_t id = u16(pos_ + 1);
            pos_ += 3;
            if ((id & 0x8000) != 0)
                out_.exact = false; // a command
            return function(id & 0x7FFF, args, depth);
        }
        case 0x23:   // defined name
        case 0x39: { // name in another workbook or add-in
            const qsizetype size = base == 0x23 ? (biff8_ ? 4 : 14) : (biff8_ ? 6 : 24);
            if (!need(size))
                return false;
            pos_ += size;
            out_.knownReads = false;
            out_.exact = false;
            pushValue(Empty{}, depth);
            return true;
        }
        case 0x24:
        case 0x25:
        case 0x2C:
        case 0x2D:
        case 0x3A:
        case 0x3B:
            return reference(base, depth);
        case 0x26: // tMemArea, tMemErr, tMemNoMem: a subexpression of references follows
        case 0x27:
        case 0x28:
            if (!need(6))
                return false;
            pos_ += 6;
            if (base != 0x26)
                out_.exact = false;
            return true;
        case 0x29: // tMemFunc, tMemAreaN, tMemNoMemN
        case 0x2E:
        case 0x2F:
            if (!need(2))
                return false;
            pos_ += 2;
            return true;
        case 0x2A:
        case 0x2B:
        case 0x3C:
        case 0x3D: { // references that were deleted
            const qsizetype cell = biff8_ ? 4 : 3;
            const qsizetype sheetBytes = base >= 0x3C ? (biff8_ ? 2 : 14) : 0;
            const qsizetype size = sheetBytes + ((base == 0x2B || base == 0x3D) ? 2 * cell : cell);
            if (!need(size))
                return false;
            pos_ += size;
            pushValue(ErrorValue{error::ref}, depth);
            return true;
        }
        default:
            return false;
        }
    }

    QByteArrayView in_;
    qsizetype pos_ = 0;
    bool ok_ = true;
    bool stackKnown_ = true; // every token's effect on the value stack is known
    bool biff8_;
    Place place_;
    const ExternSheets& externs_;
    Compiled out_;
};

// --- Running ----------------------------------------------------------------------------------

// A value on the stack: a reference or a value.
struct Item
{
    bool isRef = false;
    bool missing = false;
    Area area;
    Value value;
};

// Evaluation cannot go on exactly.
struct Inexact
{
};

constexpr double relativeTolerance = 3.552713678800501e-15; // 2^-48, as spreadsheets use

bool approxEqual(double a, double b)
{
    if (a == b)
        return true;
    return std::fabs(a - b) < std::fabs(a) * relativeTolerance &&
           std::fabs(a - b) < std::fabs(b) * relativeTolerance;
}

// Addition as spreadsheets do it: a sum that cancels to within rounding noise is 0.
double approxAdd(double a, double b)
{
    if (((a < 0 && b > 0) || (a > 0 && b < 0)) && approxEqual(a, -b))
        return 0.0;
    return a + b;
}

// A number as spreadsheets round it to 15 significant digits before decimal rounding.
double fifteenDigits(double v)
{
    if (v == 0 || !std::isfinite(v))
        return v;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return std::strtod(buffer, nullptr);
}

class Machine
{
public:
    explicit Machine(CellSource& cells) : cells_(cells) {}

    Value cell(int sheet, int row, int column)
    {
        std::optional<Value> v = cells_.cell(sheet, row, column);
        if (!v)
            throw Inexact{};
        return *v;
    }

    // The single value of an item: a one-cell reference gives the cell; an area would need the
    // formula's position (implicit intersection) and is not evaluated.
    Value scalar(const Item& item)
    {
        if (item.missing)
            throw Inexact{};
        if (!item.isRef)
            return item.value;
        const Area& a = item.area;
        if (a.firstRow != a.lastRow || a.firstColumn != a.lastColumn)
            throw Inexact{};
        return cell(a.sheet, a.firstRow, a.firstColumn);
    }

    // A value as a number operand; an error is returned as is.
    std::variant<double, ErrorValue> number(const Value& v)
    {
        if (const double* d = std::get_if<double>(&v))
            return *d;
        if (std::holds_alternative<Empty>(v))
            return 0.0;
        if (const bool* b = std::get_if<bool>(&v))
            return *b ? 1.0 : 0.0;
        if (const ErrorValue* e = std::get_if<ErrorValue>(&v))
            return *e;
        const QString& text = std::get<QString>(v);
        for (const QChar c : text)
            if (c.isDigit())
                throw Inexact{}; // a number or date as text: read by the locale
        return ErrorValue{error::value};
    }

    static std::optional<QString> text(const Value& v)
    {
        if (const QString* t = std::get_if<QString>(&v))
            return *t;
        if (std::holds_alternative<Empty>(v))
            return QString();
        if (const bool* b = std::get_if<bool>(&v))
            return *b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        const double d = std::get<double>(v);
        const QString shown = QString::number(d, 'g', 15);
        if (shown.contains(QLatin1Char('e')))
            throw Inexact{}; // shown in scientific form, which depends on the program
        return shown;
    }

    static Value finite(double v)
    {
        if (!std::isfinite(v))
            return ErrorValue{error::num};
        return v == 0 ? 0.0 : v; // no negative zero
    }

    Value binary(std::uint8_t op, const Value& a, const Value& b)
    {
        if (op == tConcat) {
            if (const ErrorValue* e = std::get_if<ErrorValue>(&a))
                return *e;
            if (const ErrorValue* e = std::get_if<ErrorValue>(&b))
                return *e;
            return *text(a) + *text(b);
        }
        if (op >= tLt && op <= tNe)
            return compare(op, a, b);
        const auto x = number(a);
        const auto y = number(b);
        if (const ErrorValue* e = std::get_if<ErrorValue>(&x))
            return *e;
        if (const ErrorValue* e = std::get_if<ErrorValue>(&y))
            return *e;
        const double l = std::get<double>(x);
        const double r = std::get<double>(y);
        switch (op) {
        case tAdd:
            return finite(approxAdd(l, r));
        case tSub:
            return finite(approxAdd(l, -r));
        case tMul:
            return finite(l * r);
        case tDiv:
            if (r == 0)
                return ErrorValue{error::divZero};
            return finite(l / r);
        case tPower:
            if (l == 0 && r == 0)
                return ErrorValue{error::num};
            if (l < 0 && r != std::floor(r))
                return ErrorValue{error::num};
            if (l == 0 && r < 0)
                return ErrorValue{error::divZero};
            return finite(std::pow(l, r));
        default:
            throw Inexact{};
        }
    }

    // Spreadsheet ordering: numbers, then texts, then booleans; an empty cell is 0, "" or FALSE
    // to match the other side.
    static int typeRank(const Value& v)
    {
        if (std::holds_alternative<QString>(v))
            return 1;
        if (std::holds_alternative<bool>(v))
            return 2;
        return 0;
    }

    static bool plainAscii(const QString& t)
    {
        for (const QChar c : t)
            if (!(c.isDigit() || c == QLatin1Char(' ') || (c.unicode() < 0x80 && c.isLetter())))
                return false;
        return true;
    }

    Value compare(std::uint8_t op, Value a, Value b)
    {
        if (const ErrorValue* e = std::get_if<ErrorValue>(&a))
            return *e;
        if (const ErrorValue* e = std::get_if<ErrorValue>(&b))
            return *e;
        const auto fill = [](Value& empty, const Value& other) {
            if (!std::holds_alternative<Empty>(empty))
                return;
            if (std::holds_alternative<QString>(other))
                empty = QString();
            else if (std::holds_alternative<bool>(other))
                empty = false;
            else
                empty = 0.0;
        };
        fill(a, b);
        fill(b, a);
        int order = 0;
        const int ra = typeRank(a);
        const int rb = typeRank(b);
        if (ra != rb) {
            order = ra < rb ? -1 : 1;
        } else if (ra == 0) {
            const double x = std::get<double>(a);
            const double y = std::get<double>(b);
            order = approxEqual(x, y) ? 0 : (x < y ? -1 : 1);
        } else if (ra == 2) {
            order = static_cast<int>(std::get<bool>(a)) - static_cast<int>(std::get<bool>(b));
        } else {
            const QString& x = std::get<QString>(a);
            const QString& y = std::get<QString>(b);
            order = x.compare(y, Qt::CaseInsensitive);
            if (order != 0 && op != tEq && op != tNe && !(plainAscii(x) && plainAscii(y)))
                throw Inexact{}; // ordered by the locale's collation
            order = order < 0 ? -1 : (order > 0 ? 1 : 0);
        }
        switch (op) {
        case tLt:
            return order < 0;
        case tLe:
            return order <= 0;
        case tEq:
            return order == 0;
        case tGe:
            return order >= 0;
        case tGt:
            return order > 0;
        default:
            return order != 0;
        }
    }

    // The numbers of SUM, MIN, MAX and AVERAGE arguments: numbers in referenced cells (texts,
    // booleans and empty cells there are skipped), and numbers or booleans given directly.
    std::variant<std::vector<double>, ErrorValue> numbers(const std::vector<Item>& args)
    {
        std::vector<double> out;
        for (const Item& arg : args) {
            if (arg.missing)
                throw Inexact{};
            if (arg.isRef) {
                const Area& a = arg.area;
                const int rowEnd = std::min(a.lastRow + 1, cells_.rowEnd(a.sheet));
                const int columnEnd = std::min(a.lastColumn + 1, cells_.columnEnd(a.sheet));
                for (int r = a.firstRow; r < rowEnd; ++r)
                    for (int c = a.firstColumn; c < columnEnd; ++c) {
                        const Value v = cell(a.sheet, r, c);
                        if (const double* d = std::get_if<double>(&v))
                            out.push_back(*d);
                        else if (const ErrorValue* e = std::get_if<ErrorValue>(&v))
                            return *e;
                    }
                continue;
            }
            const auto n = number(arg.value);
            if (const ErrorValue* e = std::get_if<ErrorValue>(&n))
                return *e;
            out.push_back(std::get<double>(n));
        }
        return out;
    }

    // Decimal rounding of x to digits places: away from zero at the half (ROUND), always away
    // from zero (ROUNDUP) or toward it (ROUNDDOWN).
    static Value roundTo(double x, double digits, std::uint16_t id)
    {
        const double places = std::trunc(digits);
        if (std::fabs(places) > 308)
            throw Inexact{};
        const double scale = std::pow(10.0, std::fabs(places));
        double v = places >= 0 ? x * scale : x / scale;
        v = fifteenDigits(v);
        if (id == fn::round)
            v = std::round(v);
        else if (id == fn::roundUp)
            v = v < 0 ? std::floor(v) : std::ceil(v);
        else
            v = std::trunc(v);
        return finite(places >= 0 ? v / scale : v * scale);
    }

    Item call(std::uint16_t id, std::vector<Item> args)
    {
        const auto value = [](Value v) { return Item{false, false, {}, std::move(v)}; };
        if (id == fn::ifFn) {
            const Value condition = scalar(args[0]);
            bool chosen = false;
            if (const ErrorValue* e = std::get_if<ErrorValue>(&condition))
                return value(*e);
            if (std::holds_alternative<QString>(condition))
                throw Inexact{};
            chosen = std::get<double>(number(condition)) != 0;
            if (chosen)
                return args[1].missing ? value(0.0) : args[1];
            if (args.size() < 3)
                return value(false);
            return args[2].missing ? value(0.0) : args[2];
        }
        if (id == fn::sum || id == fn::min || id == fn::max || id == fn::average) {
            const auto found = numbers(args);
            if (const ErrorValue* e = std::get_if<ErrorValue>(&found))
                return value(*e);
            const std::vector<double>& list = std::get<std::vector<double>>(found);
            if (id == fn::average && list.empty())
                return value(ErrorValue{error::divZero});
            if (list.empty())
                return value(0.0);
            double result = id == fn::sum || id == fn::average ? 0.0 : list.front();
            for (const double d : list) {
                if (id == fn::sum || id == fn::average)
                    result = approxAdd(result, d);
                else if (id == fn::min)
                    result = std::min(result, d);
                else
                    result = std::max(result, d);
            }
            if (id == fn::average)
                result /= static_cast<double>(list.size());
            return value(finite(result));
        }
        std::vector<double> n;
        for (const Item& arg : args) {
            const auto v = number(scalar(arg));
            if (const ErrorValue* e = std::get_if<ErrorValue>(&v))
                return value(*e);
            n.push_back(std::get<double>(v));
        }
        switch (id) {
        case fn::abs:
            return value(std::fabs(n[0]));
        case fn::intFn:
            return value(finite(std::floor(n[0])));
        case fn::sign:
            return value(n[0] > 0 ? 1.0 : (n[0] < 0 ? -1.0 : 0.0));
        case fn::mod: {
            if (n[1] == 0)
                return value(ErrorValue{error::divZero});
            const double quotient = n[0] / n[1];
            if (std::fabs(quotient) >= 134217728.0)
                throw Inexact{}; // programs differ on huge quotients
            return value(finite(approxAdd(n[0], -n[1] * std::floor(quotient))));
        }
        case fn::round:
        case fn::roundUp:
        case fn::roundDown:
            return value(roundTo(n[0], n[1], id));
        default:
            throw Inexact{};
        }
    }

    std::optional<Value> run(const Compiled& formula)
    {
        std::vector<Item> stack;
        stack.reserve(8);
        for (const Op& op : formula.ops) {
            switch (op.kind) {
            case Op::Push:
                stack.push_back(Item{false, false, {}, op.value});
                break;
            case Op::Missing:
                stack.push_back(Item{false, true, {}, Empty{}});
                break;
            case Op::Ref:
                stack.push_back(Item{true, false, op.area, {}});
                break;
            case Op::Unary: {
                const Value v = scalar(stack.back());
                if (op.code == tUplus) {
                    stack.back() = Item{false, false, {}, v};
                    break;
                }
                const auto n = number(v);
                Value result;
                if (const ErrorValue* e = std::get_if<ErrorValue>(&n))
                    result = *e;
                else if (op.code == tUminus)
                    result = finite(-std::get<double>(n));
                else
                    result = finite(std::get<double>(n) / 100.0);
                stack.back() = Item{false, false, {}, result};
                break;
            }
            case Op::Binary: {
                const Value b = scalar(stack.back());
                stack.pop_back();
                const Value a = scalar(stack.back());
                stack.back() =
                    Item{false, false, {}, binary(static_cast<std::uint8_t>(op.code), a, b)};
                break;
            }
            case Op::Function: {
                std::vector<Item> args(stack.end() - op.count, stack.end());
                stack.resize(stack.size() - op.count);
                stack.push_back(call(op.code, std::move(args)));
                break;
            }
            }
        }
        if (stack.size() != 1)
            return std::nullopt;
        Value result = scalar(stack.front());
        if (std::holds_alternative<Empty>(result))
            result = 0.0; // a reference to an empty cell shows 0
        return result;
    }

private:
    CellSource& cells_;
};

} // namespace

Compiled compile(QByteArrayView rgce, Biff biff, Place place, const ExternSheets& externs)
{
    return TokenReader(rgce, biff, place, externs).run();
}

std::optional<Value> evaluate(const Compiled& formula, CellSource& cells)
{
    if (!formula.exact)
        return std::nullopt;
    try {
        return Machine(cells).run(formula);
    } catch (const Inexact&) {
        return std::nullopt;
    }
}

} // namespace rxdeck::workbook::formula
