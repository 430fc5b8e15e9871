// SPDX-License-Identifier: GPL-3.0-or-later
// Cell records to values.

#include "memories/workbook/cells.h"
#include "memories/workbook/formularecords.h"

#include <cmath>
#include <QStringDecoder>

namespace rxdeck::workbook::cells {

using biff::get16;
using biff::Reader;
namespace type = biff::type;

namespace {

constexpr int maxColumn = 255;

bool isBlankText(const Cell& cell)
{
    const QString* text = std::get_if<QString>(&cell);
    return std::holds_alternative<Empty>(cell) || (text != nullptr && text->isEmpty());
}

// A BIFF5 text: 16-bit byte count, bytes in the workbook's code page.
std::optional<QString> codePageText(Reader& in, const Context& context)
{
    const std::uint16_t count = in.u16();
    const QByteArray bytes = in.bytes(count);
    if (!in.ok())
        return std::nullopt;
    return context.decode(bytes);
}

std::optional<QString> cellText(Reader& in, const Context& context)
{
    if (!context.biff8)
        return codePageText(in, context);
    QString text = in.unicodeString();
    if (!in.ok())
        return std::nullopt;
    return text;
}

} // namespace

biff::DateKind Context::dateKind(std::uint16_t xf) const
{
    if (xf >= xfFormats.size())
        return {};
    const std::uint16_t format = xfFormats[xf];
    if (auto it = dateFormats.constFind(format); it != dateFormats.constEnd())
        return it.value();
    return biff::builtInDateKind(format);
}

Cell Context::numberCell(double value, std::uint16_t xf) const
{
    // A damaged file may hold a NaN or an infinity, which no spreadsheet shows as a number.
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    const biff::DateKind kind = dateKind(xf);
    if (kind.date || kind.time)
        if (std::optional<QString> text = biff::dateText(value, kind, date1904))
            return *text;
    return value;
}

QString Context::decode(const QByteArray& bytes) const
{
    QStringDecoder decoder(codec.constData());
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

std::optional<Position> position(const biff::Record& record)
{
    if (record.body.size() < 6)
        return std::nullopt;
    return Position{get16(record.body, 0), get16(record.body, 2), get16(record.body, 4)};
}

int lastColumn(const biff::Record& record)
{
    const qsizetype size = record.body.size();
    if (record.type == type::mulRk && size >= 12)
        return get16(record.body, 2) + static_cast<int>((size - 6) / 6) - 1;
    if (record.type == type::mulBlank && size >= 8)
        return get16(record.body, 2) + static_cast<int>((size - 6) / 2) - 1;
    return size >= 4 ? get16(record.body, 2) : 0;
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
    const std::uint16_t xf = get16(body, 4);
    Reader in(parts);
    in.skip(6);

    switch (record.type) {
    case type::blank:
        out.cells.push_back(Empty{});
        break;
    case type::number:
        out.cells.push_back(context.numberCell(in.f64(), xf));
        break;
    case type::rk:
        out.cells.push_back(context.numberCell(biff::rkValue(in.u32()), xf));
        break;
    case type::mulRk: {
        if (body.size() < 12 || (body.size() - 6) % 6 != 0)
            return std::nullopt;
        Reader cells(QByteArrayView(body).sliced(4, body.size() - 6));
        for (qsizetype i = 0; i < (body.size() - 6) / 6; ++i) {
            const std::uint16_t cellXf = cells.u16();
            out.cells.push_back(context.numberCell(biff::rkValue(cells.u32()), cellXf));
        }
        break;
    }
    case type::mulBlank:
        if (body.size() < 8 || (body.size() - 6) % 2 != 0)
            return std::nullopt;
        out.cells.assign(static_cast<std::size_t>((body.size() - 6) / 2), Empty{});
        break;
    case type::label:
    case type::rString: {
        std::optional<QString> text = cellText(in, context);
        if (!text)
            return std::nullopt;
        out.cells.push_back(std::move(*text));
        break;
    }
    case type::labelSst: {
        const std::uint32_t index = in.u32();
        if (!in.ok() || index >= context.strings.size())
            return std::nullopt;
        out.cells.push_back(context.strings[index]);
        break;
    }
    case type::boolErr: {
        const std::uint8_t value = in.u8();
        const std::uint8_t isError = in.u8();
        if (isError == 0)
            out.cells.push_back(value != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        else
            out.cells.push_back(
                biff::errorText(value).value_or(QStringLiteral("#ERR%1").arg(value)));
        break;
    }
    case type::formula:
    case type::oldFormula: {
        const std::optional<biff::FormulaRecord> view = biff::FormulaRecord::of(record);
        if (!view)
            return std::nullopt;
        if (view->holdsNumber()) {
            out.cells.push_back(context.numberCell(in.f64(), xf));
            break;
        }
        using Kind = biff::FormulaRecord::Kind;
        const std::uint8_t value = view->code();
        if (view->kind() == Kind::Text) {
            out.cells.push_back(Empty{}); // the STRING record that follows holds the text
        } else if (view->kind() == Kind::Boolean) {
            out.cells.push_back(value != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        } else if (view->kind() == Kind::Error) {
            out.cells.push_back(
                biff::errorText(value).value_or(QStringLiteral("#ERR%1").arg(value)));
        } else {
            out.cells.push_back(Empty{}); // an empty text
        }
        break;
    }
    default:
        return std::nullopt;
    }
    if (!in.ok() || out.column + static_cast<int>(out.cells.size()) - 1 > maxColumn)
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
            if (isBlankText(cell))
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
        if (view && !view->holdsNumber() && view->kind() == biff::FormulaRecord::Kind::Text)
            pendingText = {view->row(), view->column()};
    }
    return true;
}

std::optional<std::vector<std::vector<Cell>>> readSheet(const std::vector<biff::Record>& records,
                                                        const Context& context)
{
    std::vector<std::vector<Cell>> rows;
    const auto put = [&rows](int row, int column, Cell cell) {
        if (isBlankText(cell)) {
            // A blank over an earlier value of the same cell clears it.
            if (static_cast<std::size_t>(row) < rows.size() &&
                static_cast<std::size_t>(column) < rows[row].size())
                rows[row][column] = Empty{};
            return;
        }
        if (rows.size() <= static_cast<std::size_t>(row))
            rows.resize(row + std::size_t{1});
        std::vector<Cell>& cells = rows[row];
        if (cells.size() <= static_cast<std::size_t>(column))
            cells.resize(column + std::size_t{1});
        cells[column] = std::move(cell);
    };

    const bool read = forEachCell(
        records,
        [&](const biff::Record& record, const std::vector<QByteArrayView>& parts) {
            std::optional<Decoded> cell = decode(record, parts, context);
            if (!cell)
                return false;
            for (std::size_t c = 0; c < cell->cells.size(); ++c)
                put(cell->row, cell->column + static_cast<int>(c), std::move(cell->cells[c]));
            return true;
        },
        [&](int row, int column, const std::vector<QByteArrayView>& parts) {
            std::optional<QString> text = formulaString(parts, context);
            if (text)
                put(row, column, std::move(*text));
            return text.has_value();
        });
    if (!read)
        return std::nullopt;
    trim(rows);
    return rows;
}

} // namespace rxdeck::workbook::cells
