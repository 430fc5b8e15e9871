// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the workbook editor. The input is a workbook file followed by
// editBytes bytes that choose one cell to set (sheet, row, column and a number, a text or
// nothing) and one row to remove. Besides the sanitizers, these properties must hold for
// whatever Document::parse accepts:
//
//  - a failed parse says why;
//  - save() then parse() gives back every value, unedited or edited, in the same format;
//  - setCell and removeRow either refuse with a reason and change nothing, or change the cell
//    set (or remove the row, the rows below moving up); any other cell that changes is a
//    formula result the edit recalculated: current, the same when the edit is made again, and
//    kept by the edit had a value been typed over it first; a formula the edit leaves not
//    current keeps the result it showed;
//  - an edit of a copy leaves the original as it was.

#include "memories/workbook/document.h"

#include "require.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>
#include <QString>
#include <string>

namespace {

using namespace rxdeck::workbook;

constexpr std::size_t editBytes = 24;

// The edits made to the current input, printed when a property fails.
std::string edits;

bool isEmpty(const Cell& cell)
{
    const QString* text = std::get_if<QString>(&cell);
    return std::holds_alternative<Empty>(cell) || (text != nullptr && text->isEmpty());
}

// Drops trailing empty cells of each row and trailing empty rows, as values() does.
void trim(Sheet& sheet)
{
    for (auto& row : sheet.rows)
        while (!row.empty() && isEmpty(row.back()))
            row.pop_back();
    while (!sheet.rows.empty() && sheet.rows.back().empty())
        sheet.rows.pop_back();
}

// Two NaNs are the same value here: a damaged file's formula may cache one.
bool sameCell(const Cell& a, const Cell& b)
{
    const double* x = std::get_if<double>(&a);
    const double* y = std::get_if<double>(&b);
    return (x != nullptr && y != nullptr && std::isnan(*x) && std::isnan(*y)) || a == b;
}

bool sameRow(const std::vector<Cell>& a, const std::vector<Cell>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameCell);
}

// Equal values; otherwise the first difference goes to stderr, to tell failures apart.
bool same(const Workbook& a, const Workbook& b)
{
    if (a.sheets.size() != b.sheets.size()) {
        std::fprintf(stderr, "%zu sheets against %zu\n", a.sheets.size(), b.sheets.size());
        return false;
    }
    for (std::size_t i = 0; i < a.sheets.size(); ++i) {
        const auto& x = a.sheets[i].rows;
        const auto& y = b.sheets[i].rows;
        if (a.sheets[i].name != b.sheets[i].name || x.size() != y.size()) {
            std::fprintf(stderr, "sheet %zu: %zu rows against %zu\n", i, x.size(), y.size());
            return false;
        }
        for (std::size_t r = 0; r < x.size(); ++r)
            if (!sameRow(x[r], y[r])) {
                std::size_t c = 0;
                while (c < x[r].size() && c < y[r].size() && sameCell(x[r][c], y[r][c]))
                    ++c;
                std::fprintf(stderr, "sheet %zu: first difference at row %zu, column %zu%s\n", i, r,
                             c, edits.c_str());
                return false;
            }
    }
    return true;
}

const Cell* at(const Workbook& book, std::size_t sheet, std::size_t row, std::size_t column)
{
    static const Cell empty;
    const auto& rows = book.sheets[sheet].rows;
    return row < rows.size() && column < rows[row].size() ? &rows[row][column] : &empty;
}

// The cells where the edited document differs from what the edit itself puts there must be
// formula results the edit recalculated. `edit` makes the edit again; `before` maps a cell of
// the edited document to where it was before (a row below a removed one was one lower).
template <typename Edit, typename Before>
void checkRecalculated(const Document& original, const Document& doc, const Workbook& expected,
                       Edit edit, Before before)
{
    const Workbook& after = doc.values();
    int typedOver = 0; // each costs a copy and an edit: a few per input
    for (std::size_t s = 0; s < after.sheets.size(); ++s) {
        const std::size_t rows =
            std::max(after.sheets[s].rows.size(), expected.sheets[s].rows.size());
        for (std::size_t r = 0; r < rows; ++r) {
            const std::size_t columns = std::max(
                r < after.sheets[s].rows.size() ? after.sheets[s].rows[r].size() : 0,
                r < expected.sheets[s].rows.size() ? expected.sheets[s].rows[r].size() : 0);
            for (std::size_t c = 0; c < columns; ++c) {
                const Cell& now = *at(after, s, r, c);
                if (sameCell(now, *at(expected, s, r, c)))
                    continue;
                const auto report = [&] {
                    std::fprintf(stderr, "sheet %zu: row %zu, column %zu changed%s\n", s, r, c,
                                 edits.c_str());
                };
                // A result the edit could not bring up to date stays as it was shown.
                const bool current = doc.isCurrent(int(s), int(r), int(c));
                if (!current)
                    report();
                REQUIRE(current);
                if (++typedOver > 4)
                    continue;
                // Only formulas change with other cells: typed over first, the cell keeps it.
                const auto [row, column] = before(int(s), int(r), int(c));
                const Cell* shown = at(original.values(), s, std::size_t(row), std::size_t(column));
                Document typed = original;
                if (typed.setCell(int(s), row, column, *shown) || edit(typed))
                    continue; // typing refused there (a protected cell), or the edit then
                const bool kept =
                    sameCell(*at(typed.values(), s, r, c), isEmpty(*shown) ? Cell{} : *shown);
                if (!kept)
                    report();
                REQUIRE(kept);
            }
        }
    }
}

// Saving and reading again must give what the document holds.
void checkSaved(const Document& doc)
{
    QString error;
    const std::optional<QByteArray> saved = doc.save(&error);
    if (!saved)
        std::fprintf(stderr, "save failed: %s%s\n", qPrintable(error), edits.c_str());
    REQUIRE(saved.has_value());
    const Document::ParseResult again = Document::parse(*saved);
    if (!again.document)
        std::fprintf(stderr, "saved file does not read: %s%s\n", qPrintable(again.error),
                     edits.c_str());
    REQUIRE(again.document.has_value());
    REQUIRE(again.document->format() == doc.format());
    REQUIRE(same(again.document->values(), doc.values()));
}

int pick(FuzzedDataProvider& in, int near, int far)
{
    return in.ConsumeBool() ? in.ConsumeIntegralInRange(0, near)
                            : in.ConsumeIntegralInRange(0, far);
}

// Mostly a sheet of the workbook, now and then the index one past the last.
int pickSheet(FuzzedDataProvider& in, int sheets)
{
    return sheets == 0 || in.ConsumeIntegralInRange(0, 15) == 0
               ? sheets
               : in.ConsumeIntegralInRange(0, sheets - 1);
}

Cell value(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return Empty{};
    case 1:
        return in.ConsumeFloatingPoint<double>(); // NaN and infinities included
    case 2:
        return double(in.ConsumeIntegralInRange(-100000, 100000)) / 1000;
    default: {
        // Short texts from a few scripts, or long ones that need CONTINUE records.
        static const char16_t alphabet[] = u"aZ9 .é€ΩЖ日\U0001F600";
        const int length = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 12)
                                            : in.ConsumeIntegralInRange(0, 17000);
        const auto seed = in.ConsumeIntegral<std::uint32_t>();
        QString text;
        for (int i = 0; i < length; ++i)
            text += QChar(alphabet[(seed >> (i % 29)) % (std::size(alphabet) - 1)]);
        return text;
    }
    }
}

void checkSetCell(Document& doc, FuzzedDataProvider& in)
{
    const Document original = doc;
    const Workbook before = doc.values();
    const int sheets = int(before.sheets.size());
    const int sheet = pickSheet(in, sheets);
    const int rows = sheet < sheets ? int(before.sheets[sheet].rows.size()) : 0;
    const int row = pick(in, rows + 1, 70000);
    const int column = pick(in, 4, 300);
    const Cell cell = value(in);
    edits += " after setCell(" + std::to_string(sheet) + ", " + std::to_string(row) + ", " +
             std::to_string(column) + ", " + std::to_string(cell.index()) + ")";

    if (const std::optional<QString> refused = doc.setCell(sheet, row, column, cell)) {
        REQUIRE(!refused->isEmpty());
        REQUIRE(same(doc.values(), before));
        return;
    }
    REQUIRE(sheet < sheets);
    const double* number = std::get_if<double>(&cell);
    REQUIRE(number == nullptr || std::isfinite(*number));
    Workbook expected = before;
    Sheet& target = expected.sheets[sheet];
    if (target.rows.size() <= std::size_t(row))
        target.rows.resize(row + 1);
    if (target.rows[row].size() <= std::size_t(column))
        target.rows[row].resize(column + 1);
    target.rows[row][column] = isEmpty(cell) ? Cell(Empty{}) : cell;
    trim(target);
    REQUIRE(sameCell(*at(doc.values(), sheet, row, column), *at(expected, sheet, row, column)));
    checkRecalculated(
        original, doc, expected, [&](Document& d) { return d.setCell(sheet, row, column, cell); },
        [](int, int r, int c) {
            return std::pair{r, c};
        });
    // Results are what the evaluator gives for the cells as they are now: the same edit
    // again finds nothing more to change.
    Document again = doc;
    REQUIRE(!again.setCell(sheet, row, column, cell));
    REQUIRE(same(again.values(), doc.values()));
    checkSaved(doc);
}

void checkRemoveRow(Document& doc, FuzzedDataProvider& in)
{
    const Document original = doc;
    const Workbook before = doc.values();
    const int sheets = int(before.sheets.size());
    const int sheet = pickSheet(in, sheets);
    const int rows = sheet < sheets ? int(before.sheets[sheet].rows.size()) : 0;
    const int row = pick(in, rows, 70000);
    edits += " after removeRow(" + std::to_string(sheet) + ", " + std::to_string(row) + ")";

    if (const std::optional<QString> refused = doc.removeRow(sheet, row)) {
        REQUIRE(!refused->isEmpty());
        REQUIRE(same(doc.values(), before));
        return;
    }
    REQUIRE(sheet < sheets);
    Workbook expected = before;
    Sheet& target = expected.sheets[sheet];
    if (std::size_t(row) < target.rows.size())
        target.rows.erase(target.rows.begin() + row);
    trim(target);
    REQUIRE(doc.values().sheets.size() == expected.sheets.size());
    checkRecalculated(
        original, doc, expected, [&](Document& d) { return d.removeRow(sheet, row); },
        [&](int s, int r, int c) {
            return std::pair{s == sheet && r >= row ? r + 1 : r, c};
        });
    checkSaved(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t edit = std::min(size, editBytes);
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size - edit));
    FuzzedDataProvider in(data + size - edit, edit);
    edits.clear();

    const Document::ParseResult parsed = Document::parse(file);
    if (!parsed.document) {
        REQUIRE(!parsed.error.isEmpty());
        return 0;
    }
    const Document& original = *parsed.document;
    const Workbook values = original.values();
    checkSaved(original);

    Document doc = original;
    checkSetCell(doc, in);
    checkRemoveRow(doc, in);
    REQUIRE(same(original.values(), values));
    return 0;
}
