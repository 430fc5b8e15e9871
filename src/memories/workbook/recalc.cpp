// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing formula results up to date after an edit: the formulas that depend on the changed
// cells, directly or through other formulas, are evaluated again and their cached results
// rewritten. One that cannot be evaluated exactly is marked for the spreadsheet program to
// recalculate when it opens the file, and reported as not current until then.

#include "memories/workbook/biff8.h"
#include "memories/workbook/documentdata.h"
#include "memories/workbook/evaluate.h"
#include "memories/workbook/recordviews.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <map>
#include <set>

namespace rxdeck::workbook {

using biff::FormulaRecord;
using biff::get16;
using biff::Record;
using cells::cellKey;
namespace type = biff::type;

namespace {

constexpr int maxPasses = 256;

bool intersects(const formula::Area& a, const formula::Area& b)
{
    return a.sheet == b.sheet && a.firstRow <= b.lastRow && b.firstRow <= a.lastRow &&
           a.firstColumn <= b.lastColumn && b.firstColumn <= a.lastColumn;
}

// A formula cell of a worksheet.
struct Node
{
    int bound = 0;          // sheet in workbook order
    int sheet = 0;          // sheet in values()
    std::size_t sub = 0;    // substream
    std::size_t record = 0; // its FORMULA record
    int row = 0;
    int column = 0;
    std::shared_ptr<const formula::Compiled> compiled; // null where not understood
};

} // namespace

// Everything a recalculation works on, built from the records as they are now.
class Recalculation final : public formula::CellSource
{
public:
    explicit Recalculation(DocumentData& data) : data_(data)
    {
        const formula::Biff version = data.version();
        externs_ = formula::externSheets(data.subs_.front().records(), version);
        raw_.resize(data.boundSubstream_.size());
        rawBuilt_.assign(data.boundSubstream_.size(), false);
        for (std::size_t v = 0; v < data.worksheetBound_.size(); ++v) {
            const int sheet = static_cast<int>(v);
            collect(data.boundOf(sheet), sheet, data.substreamOf(sheet), version);
        }
        at_.reserve(static_cast<qsizetype>(nodes_.size()));
        for (std::size_t n = 0; n < nodes_.size(); ++n)
            at_.insert(cellKey(nodes_[n].bound, nodes_[n].row, nodes_[n].column), n);
    }

    // Marks the formulas to evaluate again: those that read the changed areas, and those that
    // read them through other such formulas. Formulas whose inputs are not known count too.
    void markDependents(const std::vector<formula::Area>& changed)
    {
        dirty_.assign(nodes_.size(), false);
        std::map<std::pair<int, int>, std::set<int>> dirtyRows; // (sheet, column) -> rows
        const auto readsDirty = [&](const formula::Area& a) {
            for (int c = a.firstColumn; c <= a.lastColumn; ++c) {
                const auto found = dirtyRows.find({a.sheet, c});
                if (found == dirtyRows.end())
                    continue;
                const auto row = found->second.lower_bound(a.firstRow);
                if (row != found->second.end() && *row <= a.lastRow)
                    return true;
            }
            return false;
        };
        bool grew = true;
        for (int pass = 0; grew; ++pass) {
            grew = false;
            for (std::size_t n = 0; n < nodes_.size(); ++n) {
                if (dirty_[n])
                    continue;
                const Node& node = nodes_[n];
                bool depends = !node.compiled || !node.compiled->knownReads || pass >= maxPasses;
                for (std::size_t k = 0; !depends && k < node.compiled->reads.size(); ++k) {
                    const formula::Area& read = node.compiled->reads[k];
                    depends =
                        std::any_of(changed.begin(), changed.end(),
                                    [&](const formula::Area& c) { return intersects(read, c); }) ||
                        readsDirty(read);
                }
                if (!depends)
                    continue;
                dirty_[n] = true;
                dirtyRows[{node.bound, node.column}].insert(node.row);
                grew = true;
            }
        }
    }

    // Marks the formulas whose file holds no result (an empty text where a writer left none).
    void markUncached()
    {
        dirty_.assign(nodes_.size(), false);
        for (std::size_t n = 0; n < nodes_.size(); ++n)
            dirty_[n] = FormulaRecord::of(record(nodes_[n]))->holds(FormulaRecord::Kind::EmptyText);
    }

    // Evaluates the marked formulas, each after the marked ones it reads.
    void evaluate()
    {
        state_.assign(nodes_.size(), State::Waiting);
        results_.assign(nodes_.size(), std::nullopt);
        std::vector<std::size_t> stack;
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            if (!dirty_[n] || state_[n] == State::Done)
                continue;
            stack.push_back(n);
            state_[n] = State::Running;
            while (!stack.empty()) {
                const std::size_t top = stack.back();
                needed_.reset();
                const Node& node = nodes_[top];
                std::optional<formula::Value> value =
                    node.compiled ? formula::evaluate(*node.compiled, *this) : std::nullopt;
                if (needed_) {
                    state_[*needed_] = State::Running;
                    stack.push_back(*needed_);
                    continue;
                }
                results_[top] = std::move(value);
                state_[top] = State::Done;
                stack.pop_back();
            }
        }
    }

    // Writes the results into the records and values; formulas that could not be evaluated
    // are marked for recalculation by the spreadsheet program, or with keepUnknown left as
    // they are.
    void apply(bool keepUnknown)
    {
        std::set<std::size_t> touched;
        std::set<std::size_t> uncalced;
        // From the last record back, so that inserted STRING records leave earlier ones valid.
        std::vector<std::size_t> order;
        for (std::size_t n = 0; n < nodes_.size(); ++n)
            if (dirty_[n])
                order.push_back(n);
        std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
            return std::pair{nodes_[a].sub, nodes_[a].record} >
                   std::pair{nodes_[b].sub, nodes_[b].record};
        });
        for (const std::size_t n : order) {
            const Node& node = nodes_[n];
            const quint64 key = cellKey(node.sheet, node.row, node.column);
            if (!results_[n]) {
                if (keepUnknown)
                    continue;
                QByteArray& body = data_.subs_[node.sub].edit()[node.record].body;
                biff::put16(body, FormulaRecord::flagsAt,
                            get16(body, FormulaRecord::flagsAt) | FormulaRecord::alwaysCalc |
                                FormulaRecord::calcOnLoad);
                data_.stale_.insert(key);
                uncalced.insert(node.sub);
                touched.insert(node.sub);
                continue;
            }
            data_.stale_.remove(key);
            if (writeResult(node, *results_[n]))
                touched.insert(node.sub);
        }
        for (const std::size_t sub : uncalced)
            markUncalced(sub);
        for (const std::size_t sub : touched)
            data_.subs_[sub].dirty = true;
        for (const int sheet : trimNeeded_)
            cells::trim(data_.values_.sheets[static_cast<std::size_t>(sheet)].rows);
    }

    // --- CellSource ---

    std::optional<formula::Value> cell(int sheet, int row, int column) override
    {
        if (const auto found = at_.constFind(cellKey(sheet, row, column)); found != at_.cend()) {
            const std::size_t n = found.value();
            if (dirty_[n]) {
                if (state_[n] == State::Done)
                    return results_[n];
                if (state_[n] == State::Waiting && !needed_)
                    needed_ = n;     // evaluated first, then this one again
                return std::nullopt; // waiting, or a circular reference
            }
        }
        if (sheet < 0 || static_cast<std::size_t>(sheet) >= raw_.size())
            return std::nullopt;
        const Grid& grid = rawGrid(sheet);
        if (const auto values = sheetOfBound_.constFind(sheet); values != sheetOfBound_.cend())
            if (data_.stale_.contains(cellKey(values.value(), row, column)))
                return std::nullopt;
        if (static_cast<std::size_t>(row) >= grid.size() ||
            static_cast<std::size_t>(column) >= grid[row].size())
            return formula::Value{};
        return grid[row][column];
    }

    int rowEnd(int sheet) const override { return static_cast<int>(rawGrid(sheet).size()); }

    int columnEnd(int sheet) const override
    {
        const Grid& grid = rawGrid(sheet);
        std::size_t widest = 0;
        for (const auto& row : grid)
            widest = std::max(widest, row.size());
        return static_cast<int>(widest);
    }

private:
    enum class State : std::uint8_t
    {
        Waiting,
        Running,
        Done
    };
    using Grid = std::vector<std::vector<formula::Value>>;

    const Record& record(const Node& node) const
    {
        return data_.subs_[node.sub].records()[node.record];
    }

    void collect(int bound, int sheet, std::size_t sub, formula::Biff version)
    {
        sheetOfBound_.insert(bound, sheet);
        const std::vector<Record>& records = data_.subs_[sub].records();
        QHash<quint64, QByteArrayView> shared; // first cell of a SHRFMLA range -> its tokens
        const std::vector<std::size_t> top = biff::ownRecords(records);
        // Readers show a cell's last record: formulas a later record of their cell replaces.
        std::vector<bool> replaced(records.size());
        std::vector<std::bitset<256>> later; // per row, the columns set by records further on
        for (auto i = top.rbegin(); i != top.rend(); ++i) {
            const auto cell = biff::CellRecord::of(records[*i]);
            if (!cell)
                continue;
            const auto row = static_cast<std::size_t>(cell->row());
            const int first = cell->firstColumn();
            if (later.size() <= row)
                later.resize(row + 1);
            replaced[*i] =
                records[*i].type == type::formula && first < 256 && later[row].test(first);
            for (int c = first; c <= cell->lastColumn() && c < 256; ++c)
                later[row].set(c);
        }
        for (const std::size_t i : top) {
            const Record& r = records[i];
            if (r.type != type::shrFmla)
                continue;
            const auto range = biff::RangeRecord::of(r);
            if (const auto tokens = range ? range->tokens() : std::nullopt)
                shared.insert(cellKey(0, range->firstRow(), range->firstColumn()), *tokens);
        }
        for (const std::size_t i : top) {
            const Record& r = records[i];
            const auto view = FormulaRecord::of(r);
            if (r.type != type::formula || !view || !view->complete() || replaced[i])
                continue;
            Node node{bound, sheet, sub, i, view->row(), view->column(), {}};
            std::optional<QByteArrayView> rgce = view->tokens();
            if (rgce && rgce->size() == 5 && rgce->front() == 0x01) {
                const auto found =
                    shared.constFind(cellKey(0, view->anchor()->first, view->anchor()->second));
                rgce = found == shared.cend() ? std::nullopt : std::optional(found.value());
            }
            if (!rgce) {
                nodes_.push_back(std::move(node)); // an array formula or not understood
                continue;
            }
            node.compiled = data_.compiled_->compile(
                *rgce, version, formula::Place{bound, node.row, node.column}, externs_);
            nodes_.push_back(std::move(node));
        }
    }

    const Grid& rawGrid(int bound) const
    {
        const auto b = static_cast<std::size_t>(bound);
        if (rawBuilt_[b])
            return raw_[b];
        rawBuilt_[b] = true;
        Grid& grid = raw_[b];
        const std::vector<Record>& records = data_.subs_[data_.boundSubstream_[b]].records();
        cells::forEachCell(
            records,
            [&](const Record& r, const std::vector<QByteArrayView>& parts) {
                if (const auto decoded = cells::decode(r, parts, data_.context_))
                    for (std::size_t c = 0; c < decoded->values.size(); ++c)
                        cells::put(grid, decoded->row, decoded->column + static_cast<int>(c),
                                   decoded->values[c]);
                return true;
            },
            [&](int row, int column, const std::vector<QByteArrayView>& parts) {
                if (std::optional<QString> text = cells::formulaString(parts, data_.context_))
                    cells::put(grid, row, column, formula::Value(*text));
                return true;
            });
        return grid;
    }

    // Stores a result as the formula's cached value; false when it was there already.
    bool writeResult(const Node& node, const formula::Value& value)
    {
        const std::vector<Record>& records = data_.subs_[node.sub].records();
        QByteArray result(8, '\0');
        std::optional<QString> text;
        if (const double* d = std::get_if<double>(&value)) {
            std::memcpy(result.data(), d, 8);
        } else {
            biff::put16(result, 6, 0xFFFF);
            if (const QString* t = std::get_if<QString>(&value)) {
                if (t->isEmpty() && data_.biff8())
                    result[0] = 3;
                else
                    text = *t;
            } else if (const bool* b = std::get_if<bool>(&value)) {
                result[0] = 1;
                result[2] = *b ? 1 : 0;
            } else if (const formula::ErrorValue* e = std::get_if<formula::ErrorValue>(&value)) {
                result[0] = 2;
                result[2] = static_cast<char>(e->code);
            } else {
                return false;
            }
        }
        const Record& formulaRecord = records[node.record];
        // The STRING record of the old result, after any SHRFMLA, ARRAY or TABLE record.
        const std::size_t oldEnd = biff::cellEnd(records, node.record);
        std::size_t place = node.record + 1;
        while (place < oldEnd && records[place].type != type::string)
            ++place;
        QByteArray stringBody;
        if (text) {
            biff8::Bytes b;
            b.u16(static_cast<std::uint16_t>(text->size()));
            const bool wide = data_.biff8() && biff8::needsWideChars(*text);
            if (data_.biff8())
                b.u8(wide ? 1 : 0); // BIFF5 texts have no flags
            stringBody = b.chars(*text, wide).data();
        }
        const bool sameString = text && oldEnd == place + 1 && records[place].body == stringBody;
        const bool noString = !text && oldEnd == place;
        constexpr qsizetype at = FormulaRecord::resultAt;
        if (formulaRecord.body.mid(at, FormulaRecord::resultSize) == result &&
            (sameString || noString))
            return false;
        // What the cell shows, as a reader shows it.
        cells::put(data_.values_.sheets[static_cast<std::size_t>(node.sheet)].rows, node.row,
                   node.column,
                   data_.context_.shown(value, FormulaRecord::of(formulaRecord)->xf()));
        std::vector<Record>& changed = data_.subs_[node.sub].edit();
        changed[node.record].body.replace(at, FormulaRecord::resultSize, result);
        if (!sameString)
            biff::splice(changed, place, oldEnd,
                         text ? std::vector{Record{type::string, stringBody}}
                              : std::vector<Record>{});
        trimNeeded_.insert(node.sheet);
        return true;
    }

    // An UNCALCED record after the sheet's BOF asks spreadsheet programs to recalculate it.
    void markUncalced(std::size_t sub)
    {
        const std::vector<Record>& records = data_.subs_[sub].records();
        for (const std::size_t i : biff::ownRecords(records))
            if (records[i].type == type::uncalced)
                return;
        // Before the sheet's own records, after its BOF and any INDEX: before anything else.
        std::size_t at = 1;
        while (at < records.size() && records[at].type == type::index)
            ++at;
        biff::splice(data_.subs_[sub].edit(), at, at,
                     {Record{type::uncalced, QByteArray(2, '\0')}});
        // Records were inserted before the formulas found: find them again on the next run.
    }

    DocumentData& data_;
    formula::ExternSheets externs_;
    std::vector<Node> nodes_;
    QHash<quint64, std::size_t> at_; // cellKey(bound, row, column) -> node
    QHash<int, int> sheetOfBound_;
    std::vector<bool> dirty_;
    std::vector<State> state_;
    std::vector<std::optional<formula::Value>> results_;
    std::optional<std::size_t> needed_;
    mutable std::vector<Grid> raw_;
    mutable std::vector<bool> rawBuilt_;
    std::set<int> trimNeeded_;
};

void DocumentData::recalculate(const std::vector<formula::Area>& changed)
{
    Recalculation run(*this);
    run.markDependents(changed);
    run.evaluate();
    run.apply(false);
}

void DocumentData::evaluateUncached()
{
    // Results an earlier edit left for the spreadsheet program are still not current.
    for (std::size_t v = 0; v < worksheetBound_.size(); ++v) {
        const std::vector<Record>& records = subs_[substreamOf(static_cast<int>(v))].records();
        bool uncalced = false;
        std::vector<quint64> flagged;
        for (const std::size_t i : biff::ownRecords(records)) {
            const Record& r = records[i];
            const auto view = FormulaRecord::of(records[i]);
            if (r.type == type::uncalced)
                uncalced = true;
            else if (r.type == type::formula && view && view->complete() &&
                     (view->flags() & FormulaRecord::calcOnLoad) != 0)
                flagged.push_back(cellKey(static_cast<int>(v), view->row(), view->column()));
        }
        if (uncalced)
            for (const quint64 key : flagged)
                stale_.insert(key);
    }

    const auto uncached = [](const Record& r) {
        const auto view = FormulaRecord::of(r);
        return r.type == type::formula && view && view->complete() &&
               view->holds(FormulaRecord::Kind::EmptyText);
    };
    if (std::none_of(subs_.begin() + 1, subs_.end(), [&](const Substream& s) {
            return std::any_of(s.records().begin(), s.records().end(), uncached);
        }))
        return; // the usual case: every result is in the file
    Recalculation run(*this);
    run.markUncached();
    run.evaluate();
    run.apply(true);
}

void DocumentData::recalculateAfterSet(int sheet, int row, int column)
{
    const int bound = boundOf(sheet);
    stale_.remove(cellKey(sheet, row, column)); // a value now, not a formula
    recalculate({formula::Area{bound, row, row, column, column}});
}

void DocumentData::recalculateAfterRemoval(int sheet, int row)
{
    // Results of formulas below move up with their rows.
    const int bound = boundOf(sheet);
    const formula::RowRemoval removal{bound, row};
    QSet<quint64> moved;
    for (const quint64 key : std::as_const(stale_)) {
        const int s = static_cast<int>(key >> 32);
        const int r = static_cast<int>((key >> 8) & 0xFFFFFF);
        const int c = static_cast<int>(key & 0xFF);
        if (s != sheet)
            moved.insert(key);
        else if (const std::optional<int> to = removal.moved(r))
            moved.insert(cellKey(s, *to, c));
    }
    stale_ = std::move(moved);
    // Every cell from the row on moved, and areas that ended on the removed row now end on
    // the one above it.
    recalculate({formula::Area{bound, std::max(0, row - 1), 65535, 0, 255}});
}

bool DocumentData::isCurrent(int sheet, int row, int column) const
{
    return !stale_.contains(cellKey(sheet, row, column));
}

} // namespace rxdeck::workbook
