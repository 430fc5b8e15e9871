// SPDX-License-Identifier: GPL-3.0-or-later
// Compiling formula token arrays to a small stack program, and running it. The rules are those
// of spreadsheet programs (Excel, LibreOffice, gnumeric agree on them for what is accepted here);
// where they depend on the locale, on collation or on display formats, the formula counts as not
// evaluable, so the caller marks it for the spreadsheet program to recalculate.

#include "memories/workbook/evaluate.h"
#include "memories/workbook/tokens.h"

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
        if (biff8()) {
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
        if (biff8()) {
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
        Coordinate first{}, second{};
        if (biff8()) {
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
            out_.exact = false;
            pushValue(Empty{}, depth);
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
            out_.knownReads = false;
            out_.exact = false;
            pushValue(Empty{}, depth);
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
