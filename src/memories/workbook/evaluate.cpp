// SPDX-License-Identifier: GPL-3.0-or-later
// Running a compiled formula. The rules are those of spreadsheet programs (Excel, LibreOffice,
// gnumeric agree on them for what is accepted here); where they depend on the locale, on
// collation or on display formats, the formula counts as not evaluable, so the caller marks it
// for the spreadsheet program to recalculate.

#include "memories/workbook/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace rxdeck::workbook::formula {
namespace {

constexpr std::uint8_t tAdd = 0x03, tSub = 0x04, tMul = 0x05, tDiv = 0x06, tPower = 0x07,
                       tConcat = 0x08, tLt = 0x09, tLe = 0x0A, tEq = 0x0B, tGe = 0x0C, tGt = 0x0D,
                       tNe = 0x0E, tUplus = 0x12, tUminus = 0x13, tPercent = 0x14;

// A value on the stack: a reference or a value.
struct Item
{
    bool isRef = false;
    bool missing = false;
    Area area;
    Value value;

    static Item of(Value v) { return Item{false, false, {}, std::move(v)}; }
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

// Compensated (Kahan-Neumaier) summation as LibreOffice sums: the last value is held back and
// added at the end, where a total that cancels it to within rounding noise gives 0.
class KahanSum
{
public:
    void add(double x)
    {
        if (x == 0)
            return;
        if (held_ != 0) {
            const double t = sum_ + held_;
            error_ += std::fabs(sum_) >= std::fabs(held_) ? (sum_ - t) + held_ : (held_ - t) + sum_;
            sum_ = t;
        }
        held_ = x;
    }
    double get() const { return approxAdd(held_, sum_ + error_); }

private:
    double sum_ = 0;
    double error_ = 0;
    double held_ = 0;
};

// A number as spreadsheets round it to 15 significant digits before decimal rounding: only
// below 2^41, and only where more than 11 bits of it lie after the point (LibreOffice's rule).
double fifteenDigits(double v)
{
    if (v == 0 || !std::isfinite(v) || std::fabs(v) > 0x1p41)
        return v;
    double fraction = std::fabs(v) - std::floor(std::fabs(v));
    for (int bits = 0; fraction != 0; ++bits, fraction = 2 * fraction - std::floor(2 * fraction))
        if (bits == 11)
            break;
    if (fraction == 0)
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
    struct Number
    {
        int arg = 0;
        int column = 0;
        int row = 0;
        double value = 0;
    };
    std::variant<std::vector<Number>, ErrorValue> numbers(const std::vector<Item>& args)
    {
        std::vector<Number> out;
        for (int i = 0; i < static_cast<int>(args.size()); ++i) {
            const Item& arg = args[static_cast<std::size_t>(i)];
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
                            out.push_back({i, c, r, *d});
                        else if (const ErrorValue* e = std::get_if<ErrorValue>(&v))
                            return *e;
                    }
                continue;
            }
            const auto n = number(arg.value);
            if (const ErrorValue* e = std::get_if<ErrorValue>(&n))
                return *e;
            out.push_back({i, 0, 0, std::get<double>(n)});
        }
        return out;
    }

    // Decimal rounding of x to digits places: away from zero at the half (ROUND), always away
    // from zero (ROUNDUP) or toward it (ROUNDDOWN).
    static Value roundTo(double x, double digits, std::uint16_t id)
    {
        double places = std::trunc(digits);
        if (std::fabs(places) > 308)
            throw Inexact{};
        // A whole number, or one whose double has no bits after the point, is rounded already;
        // places beyond the bits a double holds after the point are not scaled for.
        if (places >= 0 && (std::fabs(x) >= 0x1p52 || x == std::trunc(x)))
            return finite(x);
        if (places > 0)
            places = std::min(places, 52.0 - std::ilogb(x));
        const double scale = std::pow(10.0, std::fabs(places));
        double v = places >= 0 ? x * scale : x / scale;
        if (std::fabs(v) >= 0x1p52) // no fraction left at this scale
            return finite(places >= 0 ? v / scale : v * scale);
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
        const auto value = &Item::of;
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
            std::vector<Number> list = std::get<std::vector<Number>>(found);
            if (id == fn::average && list.empty())
                return value(ErrorValue{error::divZero});
            if (list.empty())
                return value(0.0);
            double result = list.front().value;
            if (id == fn::min || id == fn::max) {
                for (const Number& n : list)
                    result = id == fn::min ? std::min(result, n.value) : std::max(result, n.value);
                return value(finite(result));
            }
            // Added in LibreOffice's order: the last argument first, areas column by column.
            std::stable_sort(list.begin(), list.end(), [](const Number& a, const Number& b) {
                return std::tuple(-a.arg, a.column, a.row) < std::tuple(-b.arg, b.column, b.row);
            });
            KahanSum sum;
            for (const Number& n : list)
                sum.add(n.value);
            result = sum.get();
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
                stack.push_back(Item::of(op.value));
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
                    stack.back() = Item::of(v);
                    break;
                }
                const auto n = number(v);
                const double* x = std::get_if<double>(&n);
                stack.back() = x == nullptr
                                   ? Item::of(std::get<ErrorValue>(n))
                                   : Item::of(finite(op.code == tUminus ? -*x : *x / 100.0));
                break;
            }
            case Op::Binary: {
                const Value b = scalar(stack.back());
                stack.pop_back();
                const Value a = scalar(stack.back());
                stack.back() = Item::of(binary(static_cast<std::uint8_t>(op.code), a, b));
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
