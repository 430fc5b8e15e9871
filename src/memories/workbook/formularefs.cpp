// SPDX-License-Identifier: GPL-3.0-or-later
// Moves the row numbers in formula token arrays (rgce) when a sheet row is removed. Every
// change is made in place: tokens keep their sizes, so jump offsets in tAttr tokens and the
// subexpression sizes of the tMem tokens stay valid. Anything not understood refuses.

#include "memories/workbook/formularefs.h"
#include "memories/workbook/recordviews.h"
#include "memories/workbook/tokens.h"

#include <algorithm>
#include <array>
#include <vector>

namespace rxdeck::workbook::formula {
namespace {

int wrap(int row, int rows)
{
    return ((row % rows) + rows) % rows;
}

using biff::get16;
using biff::get8;
using biff::put16;

// Where the sheet of a reference lies with respect to the removal.
enum class Where
{
    Elsewhere, // another sheet or workbook, or a deleted sheet: never changes
    OnSheet,   // the sheet that loses the row, and only it
    Unsure,    // not known, or several sheets: may stay only if the removal leaves it alone
};

Where whereSheets(int first, int last, int sheet)
{
    if (first == -1 && last == -1)
        return Where::Elsewhere; // deleted sheet
    if (first < 0 || last < 0)
        return Where::Unsure;
    if (sheet < std::min(first, last) || sheet > std::max(first, last))
        return Where::Elsewhere;
    return first == last ? Where::OnSheet : Where::Unsure;
}

// One stored row of a reference: a coordinate, or an offset from the formula's cell.
struct RowField
{
    int value = 0;
    bool offset = false;
};

// How the rows of a token array are to be read.
struct Context
{
    Biff biff = Biff::V8;
    RowRemoval removal;
    const ExternSheets* externs = nullptr;
    int sheet = -1;                          // sheet of 2-D references, -1 when not known
    bool cellFormula = false;                // FORMULA: tExp and tTbl point at anchors
    int formulaRow = -1;                     // the FORMULA's own row
    bool relativeUnknown = false;            // NAME: offsets from whichever cell uses it
    std::optional<std::array<int, 2>> cells; // SHRFMLA/ARRAY: rows the offsets apply to
};

std::optional<std::array<int, 2>> movedTargets(std::array<int, 2> rows, int count,
                                               const Context& context)
{
    if (count == 2)
        return context.removal.movedArea(rows, rowCount(context.biff));
    const auto row = context.removal.moved(rows[0]);
    if (!row)
        return std::nullopt;
    return std::array{*row, 0};
}

// Cells of a shared range where the adjusted offsets may differ from the cell before: the
// answer changes only where a cell or a target meets the removed row, a target wraps past
// the last row or meets an absolute end of its area. The range's first cell and the cells
// around each such point start every stretch of equal answers.
std::vector<int> cellsToTry(std::array<RowField, 2> fields, int count, const Context& context)
{
    const int rows = rowCount(context.biff);
    const int removed = context.removal.row;
    const auto [first, last] = *context.cells;
    std::vector<int> points{removed};
    for (int i = 0; i < count; ++i) {
        if (!fields[i].offset)
            continue;
        const int offset = fields[i].value;
        points.insert(points.end(), {removed - offset, -offset, rows - 1 - offset});
        for (int j = 0; j < count; ++j) {
            if (!fields[j].offset)
                points.push_back(fields[j].value - offset);
        }
    }
    std::vector<int> cells{first};
    for (const int point : points) {
        for (int step = -1; step <= 1; ++step) {
            const int cell = wrap(point + step, rows);
            if (cell >= first && cell <= last)
                cells.push_back(cell);
        }
    }
    std::sort(cells.begin(), cells.end());
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    return cells;
}

// The stored values after the removal, for count (1 or 2) fields. Offsets in a shared or
// array formula must come out the same for every cell of its range that stays.
std::optional<std::array<int, 2>> movedFields(std::array<RowField, 2> fields, int count,
                                              const Context& context)
{
    const bool offsets = fields[0].offset || (count == 2 && fields[1].offset);
    const std::array<int, 2> stored{fields[0].value, count == 2 ? fields[1].value : 0};
    if (!offsets)
        return movedTargets(stored, count, context);
    if (context.relativeUnknown || !context.cells)
        return std::nullopt;

    const int rows = rowCount(context.biff);
    std::optional<std::array<int, 2>> result;
    for (const int cell : cellsToTry(fields, count, context)) {
        const std::optional<int> movedCell = context.removal.moved(cell);
        if (!movedCell)
            continue;
        std::array<int, 2> targets{};
        for (int i = 0; i < count; ++i)
            targets[i] = fields[i].offset ? wrap(cell + fields[i].value, rows) : fields[i].value;
        const auto moved = movedTargets(targets, count, context);
        if (!moved)
            return std::nullopt;
        std::array<int, 2> next{};
        for (int i = 0; i < count; ++i)
            next[i] = fields[i].offset ? wrap((*moved)[i] - *movedCell, rows) : (*moved)[i];
        if (result && *result != next)
            return std::nullopt;
        result = next;
    }
    // Every cell is on the removed row and goes with it.
    return result ? result : stored;
}

// Tokens whose data follows the token array, in token order.
struct Extra
{
    enum Kind
    {
        Array,
        Areas
    } kind;
    qsizetype begin = 0;
    qsizetype end = 0; // a tMemArea's subexpression
};

class TokenWalker
{
public:
    TokenWalker(QByteArray& body, const Context& context) : body_(body), context_(context) {}

    // Adjusts the cce bytes of tokens at pos, and the extra data that follows them.
    bool run(qsizetype pos, qsizetype cce)
    {
        if (pos < 0 || cce < 0 || pos + cce > body_.size())
            return false;
        const qsizetype end = pos + cce;
        while (pos < end) {
            const auto size = token(pos, end);
            if (!size)
                return false;
            pos += *size;
        }
        return pos == end && extra(end);
    }

private:
    bool biff8() const { return context_.biff == Biff::V8; }

    Where where2d() const
    {
        if (context_.sheet < 0)
            return Where::Unsure;
        return context_.sheet == context_.removal.sheet ? Where::OnSheet : Where::Elsewhere;
    }

    Where where3d(qsizetype pos) const
    {
        const ExternSheet e = sheets3d(body_, pos, context_.biff, *context_.externs);
        if (e.otherWorkbook)
            return Where::Elsewhere;
        if (!e.ownWorkbook)
            return Where::Unsure;
        return whereSheets(e.firstSheet, e.lastSheet, context_.removal.sheet);
    }

    RowField read(AddressAt slot, bool relativeIsOffset) const
    {
        const std::uint16_t flags = get16(body_, slot.flags);
        const int value = biff8() ? get16(body_, slot.row) : get16(body_, slot.row) & 0x3FFF;
        return {value, relativeIsOffset && (flags & rowRelative) != 0};
    }

    void write(AddressAt slot, int value)
    {
        if (biff8()) {
            put16(body_, slot.row, static_cast<std::uint16_t>(value));
            return;
        }
        const std::uint16_t flags = get16(body_, slot.row) & (rowRelative | columnRelative);
        put16(body_, slot.row, static_cast<std::uint16_t>(flags | (value & 0x3FFF)));
    }

    // A cell (count 1) or area (count 2) encoded at `at`, whose sheet lies as where says.
    bool reference(Where where, qsizetype at, int count, bool relativeIsOffset)
    {
        if (where == Where::Elsewhere)
            return true;
        const Biff v = context_.biff;
        const std::array rowSlots{addressAt(at, 0, count, v), addressAt(at, 1, count, v)};
        const std::array<RowField, 2> fields{read(rowSlots[0], relativeIsOffset),
                                             count == 2 ? read(rowSlots[1], relativeIsOffset)
                                                        : RowField{}};
        const auto moved = movedFields(fields, count, context_);
        if (!moved)
            return false;
        bool changed = false;
        for (int i = 0; i < count; ++i)
            changed = changed || (*moved)[i] != fields[i].value;
        if (!changed)
            return true;
        if (where == Where::Unsure)
            return false;
        for (int i = 0; i < count; ++i)
            write(rowSlots[i], (*moved)[i]);
        return true;
    }

    // The anchor of a tExp or tTbl: the cell holding the shared, array or table formula.
    bool anchor(qsizetype pos)
    {
        if (!context_.cellFormula)
            return false;
        const Where where = where2d();
        if (where == Where::Elsewhere)
            return true;
        const int row = get16(body_, pos);
        if (row == context_.removal.row && context_.formulaRow == row)
            return true; // goes with the removed row
        const auto moved = context_.removal.moved(row);
        if (!moved || (where == Where::Unsure && *moved != row))
            return false;
        put16(body_, pos, static_cast<std::uint16_t>(*moved));
        return true;
    }

    // The size of the token at pos with its data, or nullopt to refuse.
    std::optional<qsizetype> token(qsizetype pos, qsizetype end)
    {
        const Biff v = context_.biff;
        const auto size = tokenSize(QByteArrayView(body_).first(end), pos, v);
        if (!size)
            return std::nullopt;
        const qsizetype data = pos + 1;
        // Cell formulas store coordinates; names store offsets where a part is relative.
        const bool offsets = context_.relativeUnknown;
        bool ok = true;
        const Token kind = tokenKind(get8(body_, pos));
        const int count =
            kind == Token::Area || kind == Token::AreaN || kind == Token::Area3d ? 2 : 1;
        switch (kind) {
        case Token::Exp:
            ok = anchor(data);
            break;
        case Token::Array:
            extras_.push_back({Extra::Array, data, data});
            break;
        case Token::Name:
        case Token::NameX:
            sheetless_.push_back(data);
            break;
        case Token::Ref:
        case Token::Area:
        case Token::RefN:
        case Token::AreaN:
            ok = reference(where2d(), data, count,
                           offsets || kind == Token::RefN || kind == Token::AreaN);
            break;
        case Token::MemArea:
            extras_.push_back({Extra::Areas, data + 6, data + 6 + get16(body_, data + 4)});
            break;
        case Token::Ref3d:
        case Token::Area3d:
            sheetless_.push_back(data);
            ok = reference(where3d(data), data + sheetBytes(v), count, offsets);
            break;
        default:
            break; // operators, constants, functions, deleted references: no rows
        }
        return ok ? size : std::nullopt;
    }

    // The extra data after the token array: only the tMemArea areas hold rows. They are
    // read only where no array constant comes before them, whose layout need not be parsed.
    bool extra(qsizetype pos)
    {
        const bool areas = std::any_of(extras_.begin(), extras_.end(),
                                       [](const Extra& e) { return e.kind == Extra::Areas; });
        if (!areas)
            return true;
        if (!biff8())
            return false; // BIFF5 layout of the cached areas not known
        for (const Extra& e : extras_) {
            if (e.kind == Extra::Array)
                return false;
            if (pos + 2 > body_.size())
                return false;
            const int count = get16(body_, pos);
            pos += 2;
            if (pos + 8 * qsizetype(count) > body_.size())
                return false;
            const Where where = memAreaSheet(e);
            for (int i = 0; i < count; ++i, pos += 8) {
                // Ref8U: an area as BIFF8 encodes it, its rows plain coordinates.
                if (!reference(where, pos, 2, false))
                    return false;
            }
        }
        return true;
    }

    // The cached areas of a cell formula are on its own sheet when its subexpression holds
    // no 3-D reference or name; otherwise on a sheet not known.
    Where memAreaSheet(const Extra& e) const
    {
        if (!context_.cellFormula)
            return Where::Unsure;
        const bool foreign = std::any_of(sheetless_.begin(), sheetless_.end(),
                                         [&](qsizetype p) { return p >= e.begin && p < e.end; });
        return foreign ? Where::Unsure : where2d();
    }

    QByteArray& body_;
    const Context& context_;
    std::vector<Extra> extras_;
    std::vector<qsizetype> sheetless_; // 3-D references and names
};

// Rows of a record's cell range header (rwFirst, rwLast) after the removal on its sheet.
// A SHRFMLA range shrinks; an ARRAY or TABLE range the row cuts through is refused.
std::optional<std::array<int, 2>> movedRange(const biff::RangeRecord& header, int ownSheet,
                                             RowRemoval removal, bool mayShrink)
{
    const std::array<int, 2> rows{header.firstRow(), header.lastRow()};
    if (ownSheet != removal.sheet)
        return rows;
    if (rows[0] > rows[1] || (!mayShrink && rows[0] <= removal.row && removal.row <= rows[1]))
        return std::nullopt;
    return removal.movedSpan(rows[0], rows[1]);
}

// Input cells of a data table, on its own sheet. The second pair serves two-input tables
// only, but moving it along is harmless either way, and safer than guessing which pair a
// one-input table fills; a pair flagged as deleted points nowhere.
bool moveTableInputs(QByteArray& body, int ownSheet, RowRemoval removal)
{
    if (ownSheet != removal.sheet)
        return true;
    const std::uint16_t flags = get16(body, 6);
    const std::array<std::pair<qsizetype, bool>, 2> inputs{
        std::pair{qsizetype(8), (flags & 0x0010) == 0},
        std::pair{qsizetype(12), (flags & 0x0020) == 0}};
    for (const auto& [pos, live] : inputs) {
        if (!live)
            continue;
        const auto row = removal.moved(get16(body, pos));
        if (!row)
            return false;
        put16(body, pos, static_cast<std::uint16_t>(*row));
    }
    return true;
}

// Offset of a NAME record's token array, after its header and name text.
std::optional<qsizetype> nameFormulaStart(const QByteArray& body, Biff biff)
{
    constexpr qsizetype header = 14;
    if (body.size() < header)
        return std::nullopt;
    const int length = get8(body, 3);
    if (biff == Biff::V5)
        return header + length;
    if (body.size() < header + 1)
        return std::nullopt;
    return header + 1 + length * ((get8(body, header) & 0x01) ? 2 : 1);
}

} // namespace

std::optional<QByteArray> adjustRecord(const Record& record, Biff biff, int ownSheet,
                                       RowRemoval removal, const ExternSheets& externs)
{
    QByteArray body = record.body;
    Context context{biff, removal, &externs, ownSheet, false, -1, false, std::nullopt};
    std::optional<qsizetype> start; // of the token array, its size in the two bytes before
    switch (record.type) {
    case biff::type::formula:
    case biff::type::oldFormula:
        if (const auto formula = biff::FormulaRecord::of(record); formula && formula->complete()) {
            context.cellFormula = true;
            context.formulaRow = formula->row();
            start = formula->tokensAt();
        }
        break;
    case biff::type::array:
    case biff::type::shrFmla: {
        const auto header = biff::RangeRecord::of(record);
        const auto range =
            header ? movedRange(*header, ownSheet, removal, record.type == biff::type::shrFmla)
                   : std::nullopt;
        if (!range || body.size() < header->tokensAt())
            return std::nullopt;
        context.cells = std::array<int, 2>{header->firstRow(), header->lastRow()};
        biff::RangeRecord::setRows(body, (*range)[0], (*range)[1]);
        start = header->tokensAt();
        break;
    }
    case biff::type::table: { // range, grbit rwInpRw colInpRw rwInpCol colInpCol
        const auto header = biff::RangeRecord::of(record);
        const auto range = header ? movedRange(*header, ownSheet, removal, false) : std::nullopt;
        if (body.size() < 16 || !range || !moveTableInputs(body, ownSheet, removal))
            return std::nullopt;
        biff::RangeRecord::setRows(body, (*range)[0], (*range)[1]);
        return body;
    }
    case biff::type::name: // grbit chKey cch cce ixals itab 4 text lengths, name, rgce
        context.sheet = -1;
        context.relativeUnknown = true;
        if (const auto at = nameFormulaStart(body, biff))
            return TokenWalker(body, context).run(*at, get16(body, 4)) ? std::optional(body)
                                                                       : std::nullopt;
        return std::nullopt;
    case biff::type::brai: // id rt grbit ifmt cce rgce
        context.sheet = -1;
        if (body.size() >= 8)
            start = 8;
        break;
    default:
        return body;
    }
    if (!start || !TokenWalker(body, context).run(*start, get16(body, *start - 2)))
        return std::nullopt;
    return body;
}

bool adjustTokens(QByteArray& body, qsizetype pos, qsizetype cce, Biff biff, int ownSheet,
                  RowRemoval removal, const ExternSheets& externs, std::array<int, 2> cells)
{
    const Context context{biff, removal, &externs, ownSheet, false, -1, false, cells};
    if (pos < 0 || cce < 0 || pos + cce > body.size())
        return false;
    // The tokens alone: such formulas carry no extra data, and none is read past them.
    QByteArray tokens = body.mid(pos, cce);
    if (!TokenWalker(tokens, context).run(0, cce))
        return false;
    body.replace(pos, cce, tokens);
    return true;
}

} // namespace rxdeck::workbook::formula
