// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Evaluating cell formulas from their BIFF5/BIFF8 token arrays, for the formulas whose result
// can be computed exactly as a spreadsheet program computes it: numbers, texts, booleans, cell
// and area references on this workbook's sheets, the arithmetic, text and comparison operators
// and a few common functions. Anything else is reported as not evaluable rather than guessed.
// Pure logic, internal to the workbook codec.

#include "memories/workbook/cells.h"
#include "memories/workbook/formularefs.h"
#include "memories/workbook/workbook.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <vector>

namespace rxdeck::workbook::formula {

// Error codes, and the numbers of the functions evaluated here.
namespace error {
inline constexpr std::uint8_t divZero = 0x07;
inline constexpr std::uint8_t value = 0x0F;
inline constexpr std::uint8_t ref = 0x17;
inline constexpr std::uint8_t num = 0x24;
} // namespace error

namespace fn {
inline constexpr std::uint16_t ifFn = 1;
inline constexpr std::uint16_t sum = 4;
inline constexpr std::uint16_t average = 5;
inline constexpr std::uint16_t min = 6;
inline constexpr std::uint16_t max = 7;
inline constexpr std::uint16_t abs = 24;
inline constexpr std::uint16_t intFn = 25;
inline constexpr std::uint16_t sign = 26;
inline constexpr std::uint16_t round = 27;
inline constexpr std::uint16_t mod = 39;
inline constexpr std::uint16_t roundUp = 212;
inline constexpr std::uint16_t roundDown = 213;
} // namespace fn

using cells::ErrorValue;
using cells::Value;

// A block of cells on one sheet (sheets counted in workbook order), inclusive.
struct Area
{
    int sheet = 0;
    int firstRow = 0;
    int lastRow = 0;
    int firstColumn = 0;
    int lastColumn = 0;
    bool operator==(const Area&) const = default;
};

// The cell a formula stands in: relative references of shared formulas count from it.
struct Place
{
    int sheet = 0;
    int row = 0;
    int column = 0;
};

// One step of a compiled formula, run on a value stack.
struct Op
{
    enum Kind : std::uint8_t
    {
        Push,     // value
        Ref,      // area
        Unary,    // code: token
        Binary,   // code: token
        Function, // code: function number, count: arguments
        Missing,  // an omitted argument
    };
    Kind kind = Push;
    std::uint16_t code = 0;
    std::uint8_t count = 0;
    Value value;
    Area area;
};

// A token array read for evaluation.
struct Compiled
{
    std::vector<Area> reads; // every area of this workbook the formula reads
    // reads holds everything the formula reads; false where it uses names, other workbooks,
    // arrays or tokens not understood, whose inputs cannot be told.
    bool knownReads = false;
    // Every token can be evaluated exactly; when false, evaluate() is not called.
    bool exact = false;
    std::vector<Op> ops;
};

// Reads a token array of cce bytes. place gives the cell for relative (shared-formula)
// references; externs and biff as for adjusting references.
Compiled compile(QByteArrayView rgce, Biff biff, Place place, const ExternSheets& externs);

// Compiled formulas kept across edits, by cell. A compiled formula depends only on its tokens,
// its cell, the BIFF version and the external-sheet table, so an entry is used again only
// where all four are as they were; documents that share the cache cannot tell it is there,
// from whichever thread they are edited.
class CompileCache
{
public:
    std::shared_ptr<const Compiled> compile(QByteArrayView rgce, Biff biff, Place place,
                                            const ExternSheets& externs);

private:
    struct Entry
    {
        QByteArray tokens;
        std::shared_ptr<const Compiled> compiled;
    };
    std::mutex mutex_;
    Biff biff_ = Biff::V8;
    ExternSheets externs_;
    QHash<quint64, Entry> entries_;
};

// Where evaluation takes cell values from. cell() returns nullopt where the value is not
// known (a formula not yet current): the formula then cannot be evaluated either.
class CellSource
{
public:
    virtual ~CellSource() = default;
    virtual std::optional<Value> cell(int sheet, int row, int column) = 0;
    // One past the last row and column that hold anything; areas are read only up to them.
    virtual int rowEnd(int sheet) const = 0;
    virtual int columnEnd(int sheet) const = 0;
};

// The result of a formula as the cell shows it (a reference alone gives the cell's value, an
// empty cell 0); nullopt where it cannot be computed exactly.
std::optional<Value> evaluate(const Compiled& formula, CellSource& cells);

} // namespace rxdeck::workbook::formula
