// SPDX-License-Identifier: GPL-3.0-or-later
// Cell records to values.

#include "memories/workbook/cells.h"
#include "memories/workbook/recordviews.h"

#include <cmath>
#include <QStringDecoder>

namespace rxdeck::workbook::cells {

using biff::get16;
using biff::Reader;
namespace type = biff::type;

namespace {

constexpr int maxColumn = 255;

// A cell's text; in BIFF5 a 16-bit byte count and bytes in the workbook's code page.
std::optional<QString> cellText(Reader& in, const Context& context)
{
    QString text = context.biff8 ? in.unicodeString() : context.decode(in.bytes(in.u16()));
    return in.ok() ? std::optional(std::move(text)) : std::nullopt;
}

} // namespace

bool isBlank(const Cell& cell)
{
    const QString* text = std::get_if<QString>(&cell);
    return std::holds_alternative<Empty>(cell) || (text != nullptr && text->isEmpty());
}

biff::DateKind Context::dateKind(std::uint16_t xf) const
{
    if (xf >= xfFormats.size())
        return {};
    const std::uint16_t format = xfFormats[xf];
    if (auto it = dateFormats.constFind(format); it != dateFormats.constEnd())
        return it.value();
    return biff::builtInDateKind(format);
}

Cell Context::shown(const Value& value, std::uint16_t xf) const
{
    if (const double* number = std::get_if<double>(&value)) {
        const biff::DateKind kind = dateKind(xf);
        if (kind.date || kind.time)
            if (std::optional<QString> text = biff::dateText(*number, kind, date1904))
                return *text;
        return *number;
    }
    if (const bool* b = std::get_if<bool>(&value))
        return *b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (const ErrorValue* e = std::get_if<ErrorValue>(&value))
        return biff::errorText(e->code).value_or(QStringLiteral("#ERR%1").arg(e->code));
    if (const QString* text = std::get_if<QString>(&value))
        return *text;
    return Empty{};
}

QString Context::decode(const QByteArray& bytes) const
{
    QStringDecoder decoder(codec.constData());
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

std::optional<Decoded> decode(const biff::Record& record, const std::vector<QByteArrayView>& parts,
                              const Context& context)
{
    const QByteArray& body = record.body;
    if (body.size() < 6)
        return std::nullopt;
    Decoded out;
    out.row = get16(body, 0);
    out.column = get16(body, 2);
    std::vector<Value>& values = out.values;
    Reader in(parts);
    in.skip(6);
    // A damaged file may hold a NaN or an infinity, which no spreadsheet shows as a number.
    const auto number = [](double v) -> Value {
        return std::isfinite(v) ? Value(v) : Value(ErrorValue{0x24});
    };
    const auto boolOrError = [](std::uint8_t value, bool error) -> Value {
        return error ? Value(ErrorValue{value}) : Value(value != 0);
    };

    switch (record.type) {
    case type::blank:
        values.emplace_back(Empty{});
        break;
    case type::number:
        values.push_back(number(in.f64()));
        break;
    case type::rk:
        values.push_back(number(biff::rkValue(in.u32())));
        break;
    case type::mulRk: {
        if (body.size() < 12 || (body.size() - 6) % 6 != 0)
            return std::nullopt;
        Reader cells(QByteArrayView(body).sliced(4, body.size() - 6));
        for (qsizetype i = 0; i < (body.size() - 6) / 6; ++i) {
            cells.u16();
            values.push_back(number(biff::rkValue(cells.u32())));
        }
        break;
    }
    case type::mulBlank:
        if (body.size() < 8 || (body.size() - 6) % 2 != 0)
            return std::nullopt;
        values.assign(static_cast<std::size_t>((body.size() - 6) / 2), Empty{});
        break;
    case type::label:
    case type::rString: {
        std::optional<QString> text = cellText(in, context);
        if (!text)
            return std::nullopt;
        values.emplace_back(std::move(*text));
        break;
    }
    case type::labelSst: {
        const std::uint32_t index = in.u32();
        if (!in.ok() || index >= context.strings.size())
            return std::nullopt;
        values.emplace_back(context.strings[index]);
        break;
    }
    case type::boolErr: {
        const std::uint8_t value = in.u8();
        values.push_back(boolOrError(value, in.u8() != 0));
        break;
    }
    case type::formula:
    case type::oldFormula: {
        const std::optional<biff::FormulaRecord> view = biff::FormulaRecord::of(record);
        if (!view)
            return std::nullopt;
        using Kind = biff::FormulaRecord::Kind;
        if (view->holdsNumber())
            values.push_back(number(in.f64()));
        else if (view->kind() == Kind::Boolean || view->kind() == Kind::Error)
            values.push_back(boolOrError(view->code(), view->kind() == Kind::Error));
        else if (view->kind() == Kind::EmptyText)
            values.emplace_back(QString());
        else
            values.emplace_back(Empty{}); // the STRING record that follows holds the text
        break;
    }
    default:
        return std::nullopt;
    }
    if (!in.ok() || out.column + static_cast<int>(values.size()) - 1 > maxColumn)
        return std::nullopt;
    return out;
}

std::optional<QString> formulaString(const std::vector<QByteArrayView>& parts,
                                     const Context& context)
{
    Reader in(parts);
    return cellText(in, context);
}

void trim(std::vector<std::vector<Cell>>& rows)
{
    for (std::vector<Cell>& row : rows) {
        for (Cell& cell : row)
            if (isBlank(cell))
                cell = Empty{};
        while (!row.empty() && std::holds_alternative<Empty>(row.back()))
            row.pop_back();
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
}

bool forEachCell(const std::vector<biff::Record>& records, const CellVisitor& onCell,
                 const TextVisitor& onText)
{
    std::optional<std::pair<int, int>> pendingText; // the formula whose STRING comes next
    for (const std::size_t i : biff::ownRecords(records)) {
        const biff::Record& record = records[i];
        if (record.type == type::string) {
            if (pendingText &&
                !onText(pendingText->first, pendingText->second, biff::parts(records, i)))
                return false;
            pendingText.reset();
            continue;
        }
        if (!biff::isCell(record.type))
            continue;
        pendingText.reset();
        if (!onCell(record, biff::parts(records, i)))
            return false;
        const auto view = biff::FormulaRecord::of(record);
        if (view && view->holds(biff::FormulaRecord::Kind::Text))
            pendingText = {view->row(), view->column()};
    }
    return true;
}

std::optional<std::vector<std::vector<Cell>>> readSheet(const std::vector<biff::Record>& records,
                                                        const Context& context)
{
    std::vector<std::vector<Cell>> rows;
    const auto set = [&rows](int row, int column, Cell cell) {
        if (isBlank(cell)) {
            // A blank over an earlier value of the same cell clears it.
            if (static_cast<std::size_t>(row) < rows.size() &&
                static_cast<std::size_t>(column) < rows[row].size())
                rows[row][column] = Empty{};
            return;
        }
        cells::put(rows, row, column, std::move(cell));
    };

    const bool read = forEachCell(
        records,
        [&](const biff::Record& record, const std::vector<QByteArrayView>& parts) {
            const std::optional<Decoded> cell = decode(record, parts, context);
            if (!cell)
                return false;
            const biff::CellRecord xfs = *biff::CellRecord::of(record);
            for (int c = 0; c < static_cast<int>(cell->values.size()); ++c)
                set(cell->row, cell->column + c,
                    context.shown(cell->values[c], xfs.xf(cell->column + c)));
            return true;
        },
        [&](int row, int column, const std::vector<QByteArrayView>& parts) {
            std::optional<QString> text = formulaString(parts, context);
            if (text)
                set(row, column, std::move(*text));
            return text.has_value();
        });
    if (!read)
        return std::nullopt;
    trim(rows);
    return rows;
}

} // namespace rxdeck::workbook::cells
