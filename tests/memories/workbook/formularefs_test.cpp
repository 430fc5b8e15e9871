// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/workbook/formularefs.h"

#include <gtest/gtest.h>

namespace rxdeck::workbook::formula {
namespace {

constexpr RowRemoval removal{0, 10}; // sheet 0 loses row 10

QByteArray le16(int value)
{
    return QByteArray(1, char(value & 0xFF)) + char((value >> 8) & 0xFF);
}

QByteArray zeros(int count)
{
    return QByteArray(count, '\0');
}

// Tokens. BIFF8 keeps the relative flags in the column field, BIFF5 in the row field.
QByteArray ref8(int row, int id = 0x44)
{
    return char(id) + le16(row) + le16(0xC002);
}
QByteArray area8(int first, int last, int id = 0x25)
{
    return char(id) + le16(first) + le16(last) + le16(0x8001) + le16(0x8003);
}
QByteArray ref3d8(int ixti, int row)
{
    return char(0x5A) + le16(ixti) + le16(row) + le16(0x0001);
}
QByteArray ref5(int row, int flags = 0xC000)
{
    return char(0x44) + le16(flags | row) + char(2);
}
QByteArray area5(int first, int last)
{
    return char(0x25) + le16(0x8000 | first) + le16(last) + char(1) + char(3);
}
QByteArray ref3d5(int ixals, int firstSheet, int lastSheet, int row)
{
    return char(0x3A) + le16(ixals) + zeros(8) + le16(firstSheet) + le16(lastSheet) + le16(row) +
           char(1);
}
QByteArray anchor(int row)
{
    return char(0x01) + le16(row) + le16(0);
}

QByteArray formulaBody(int row, const QByteArray& rgce, const QByteArray& extra = {})
{
    return le16(row) + le16(0) + le16(15) + zeros(8) + le16(0) + zeros(4) + le16(rgce.size()) +
           rgce + extra;
}

// Entries 0..4: sheet 0, sheet 1, sheets 0 to 1, another workbook, not understood.
ExternSheets externs()
{
    return {{true, false, 0, 0}, {true, false, 1, 1}, {true, false, 0, 1}, {false, true}, {}};
}

struct TokenCase
{
    const char* what;
    Biff biff;
    int sheet;
    QByteArray rgce;
    std::optional<QByteArray> expected; // nullopt: refused
};

TEST(FormulaRefs, TokenStreamsOfCellFormulas)
{
    const QByteArray str8 =
        QByteArray("\x17\x02\x01", 3) + QByteArray("A\0B\0", 4) + QByteArray("\x17\x01\x00x", 4);
    const QByteArray choose = QByteArray("\x19\x04", 2) + le16(1) + le16(4) + le16(8);
    const QByteArray num = char(0x1F) + zeros(8);
    const QByteArray funcVar = QByteArray("\x42\x02", 2) + le16(100);
    const QByteArray str5 = QByteArray("\x17\x03xyz", 5);
    const std::vector<TokenCase> cases{
        {"ref above", Biff::V8, 0, ref8(5), ref8(5)},
        {"ref below moves up, flags kept", Biff::V8, 0, ref8(15), ref8(14)},
        {"ref on the row", Biff::V8, 0, ref8(10), std::nullopt},
        {"ref on another sheet", Biff::V8, 1, ref8(15), ref8(15)},
        {"area around shrinks", Biff::V8, 0, area8(5, 15), area8(5, 14)},
        {"area from the row shrinks", Biff::V8, 0, area8(10, 12), area8(10, 11)},
        {"area stored bottom first", Biff::V8, 0, area8(15, 5), area8(14, 5)},
        {"area below", Biff::V8, 0, area8(11, 12), area8(10, 11)},
        {"area only the row", Biff::V8, 0, area8(10, 10), std::nullopt},
        {"whole column", Biff::V8, 0, area8(0, 65535), area8(0, 65535)},
        {"3-D own sheet", Biff::V8, 1, ref3d8(0, 15), ref3d8(0, 14)},
        {"3-D other sheet", Biff::V8, 0, ref3d8(1, 15), ref3d8(1, 15)},
        {"3-D span, moved row", Biff::V8, 0, ref3d8(2, 15), std::nullopt},
        {"3-D span, unmoved row", Biff::V8, 0, ref3d8(2, 5), ref3d8(2, 5)},
        {"3-D other workbook", Biff::V8, 0, ref3d8(3, 15), ref3d8(3, 15)},
        {"3-D not understood", Biff::V8, 0, ref3d8(4, 15), std::nullopt},
        {"3-D index past the table", Biff::V8, 0, ref3d8(9, 15), std::nullopt},
        {"anchor below", Biff::V8, 0, anchor(15), anchor(14)},
        {"anchor on the row", Biff::V8, 0, anchor(10), std::nullopt},
        {"tokens with data keep the walk in step", Biff::V8, 0,
         str8 + choose + num + funcVar + ref8(15), str8 + choose + num + funcVar + ref8(14)},
        {"BIFF5 ref", Biff::V5, 0, ref5(15), ref5(14)},
        {"BIFF5 area", Biff::V5, 0, area5(5, 15), area5(5, 14)},
        {"BIFF5 whole column", Biff::V5, 0, area5(0, 16383), area5(0, 16383)},
        {"BIFF5 string then ref", Biff::V5, 0, str5 + ref5(12), str5 + ref5(11)},
        {"BIFF5 3-D own sheet", Biff::V5, 1, ref3d5(-1, 0, 0, 15), ref3d5(-1, 0, 0, 14)},
        {"BIFF5 3-D other sheet", Biff::V5, 0, ref3d5(-1, 1, 1, 15), ref3d5(-1, 1, 1, 15)},
        {"BIFF5 3-D span", Biff::V5, 0, ref3d5(-1, 0, 1, 15), std::nullopt},
        {"BIFF5 external", Biff::V5, 0, ref3d5(2, 0, 0, 15), ref3d5(2, 0, 0, 15)},
    };
    for (const TokenCase& c : cases) {
        const Record record{0x0006, formulaBody(20, c.rgce)};
        const auto result = adjustRecord(record, c.biff, c.sheet, removal, externs());
        if (!c.expected)
            EXPECT_FALSE(result) << c.what;
        else
            EXPECT_EQ(result, formulaBody(20, *c.expected)) << c.what;
    }
}

TEST(FormulaRefs, UnknownOrCutTokensAreRefused)
{
    const std::vector<QByteArray> streams{
        QByteArray("\x18\x01", 2),     // extended token
        QByteArray("\x1A\0\0\0\0", 5), // tSheet
        QByteArray("\x2E\0\0", 3),     // tMemAreaN
        QByteArray("\x80", 1),         // beyond the ids
        ref8(15).left(3),              // cut short
        QByteArray("\x19\x80\0\0", 4), // tAttr of an unknown kind
        QByteArray("\x17\x02\x09"
                   "ab",
                   5), // 16-bit string cut short; the reserved flag bits are ignored
    };
    for (const QByteArray& rgce : streams)
        EXPECT_FALSE(adjustRecord({0x0006, formulaBody(20, rgce)}, Biff::V8, 0, removal, {}))
            << rgce.toHex().constData();
}

TEST(FormulaRefs, ExtraDataAfterTheTokens)
{
    // An array constant's values are kept byte for byte.
    const QByteArray array = char(0x60) + zeros(7);
    const QByteArray values = QByteArray("\x00\x00\x00", 3) + char(0x01) + zeros(8);
    EXPECT_EQ(
        adjustRecord({0x0006, formulaBody(20, array + ref8(15), values)}, Biff::V8, 0, removal, {}),
        formulaBody(20, array + ref8(14), values));

    // A tMemArea's cached areas move with the rows of its own sheet.
    const QByteArray sub = area8(12, 13) + area8(13, 14) + char(0x0F);
    const QByteArray mem = char(0x26) + zeros(4) + le16(sub.size());
    const auto cached = [](int first, int last) {
        return le16(1) + le16(first) + le16(last) + le16(0) + le16(2);
    };
    EXPECT_EQ(adjustRecord({0x0006, formulaBody(20, mem + sub, cached(13, 13))}, Biff::V8, 0,
                           removal, {}),
              formulaBody(20, mem + area8(11, 12) + area8(12, 13) + char(0x0F), cached(12, 12)));
}

QByteArray rangeHeader(int first, int last)
{
    return le16(first) + le16(last) + char(0) + char(2);
}
QByteArray shared(int first, int last, const QByteArray& rgce)
{
    return rangeHeader(first, last) + le16(0) + le16(rgce.size()) + rgce;
}
QByteArray array(int first, int last, const QByteArray& rgce)
{
    return rangeHeader(first, last) + le16(0) + zeros(4) + le16(rgce.size()) + rgce;
}

TEST(FormulaRefs, SharedArrayAndTableRecords)
{
    // ptgRefN offsets: row field is the offset when the row is relative (0xFFFF is -1).
    const auto refN = [](int offset) { return ref8(offset & 0xFFFF, 0x4C); };
    const auto run = [](std::uint16_t type, const QByteArray& body) {
        return adjustRecord({type, body}, Biff::V8, 0, removal, externs());
    };
    EXPECT_EQ(run(0x04BC, shared(12, 14, refN(-1))), shared(11, 13, refN(-1)));
    EXPECT_EQ(run(0x04BC, shared(8, 12, refN(0))), shared(8, 11, refN(0)));
    const QByteArray absoluteRow = char(0x2C) + le16(5) + le16(0x4002);
    EXPECT_EQ(run(0x04BC, shared(12, 14, absoluteRow)), shared(11, 13, absoluteRow));
    // Cells on both sides of the row pointing above it: offsets would differ per cell.
    EXPECT_FALSE(run(0x04BC, shared(8, 12, refN(-5))));
    EXPECT_FALSE(run(0x04BC, shared(9, 11, refN(1)))); // row 9 points at the removed row
    EXPECT_FALSE(run(0x04BC, shared(10, 10, refN(0))));

    EXPECT_EQ(run(0x0221, array(12, 13, area8(15, 16))), array(11, 12, area8(14, 15)));
    EXPECT_EQ(run(0x0221, array(2, 3, ref8(15))), array(2, 3, ref8(14)));
    EXPECT_FALSE(run(0x0221, array(9, 11, ref8(1)))); // part of an array

    const auto table = [](int first, int last, int inputRow) {
        return rangeHeader(first, last) + le16(0) + le16(inputRow) + le16(1) + zeros(4);
    };
    EXPECT_EQ(run(0x0236, table(12, 14, 11)), table(11, 13, 10));
    EXPECT_FALSE(run(0x0236, table(12, 14, 10)));
}

QByteArray name8(const QByteArray& rgce)
{
    return le16(0) + char(0) + char(3) + le16(rgce.size()) + le16(0) + le16(0) + zeros(4) +
           char(0) + "Rng" + rgce;
}

TEST(FormulaRefs, NamesAndChartSeries)
{
    const QByteArray absolute = char(0x3B) + le16(0) + le16(12) + le16(20) + le16(0) + le16(1);
    const QByteArray relative =
        char(0x3B) + le16(0) + le16(12) + le16(20) + le16(0x8000) + le16(0x8001);
    const QByteArray absoluteMoved = char(0x3B) + le16(0) + le16(11) + le16(19) + le16(0) + le16(1);
    EXPECT_EQ(adjustRecord({0x0018, name8(absolute)}, Biff::V8, -1, removal, externs()),
              name8(absoluteMoved));
    EXPECT_FALSE(adjustRecord({0x0018, name8(relative)}, Biff::V8, -1, removal, externs()));

    // BIFF5 names: 2-D references name no sheet, so only unmoved rows are kept.
    const auto name5 = [](const QByteArray& rgce) {
        return le16(0) + char(0) + char(3) + le16(rgce.size()) + zeros(8) + "Rng" + rgce;
    };
    EXPECT_EQ(adjustRecord({0x0018, name5(ref5(3, 0))}, Biff::V5, -1, removal, {}),
              name5(ref5(3, 0)));
    EXPECT_FALSE(adjustRecord({0x0018, name5(ref5(13, 0))}, Biff::V5, -1, removal, {}));
    // A relative row in a name depends on the cell that uses it.
    EXPECT_FALSE(adjustRecord({0x0018, name5(ref5(3))}, Biff::V5, -1, removal, {}));

    // BRAI: id, reference type, flags, number format, then the formula.
    const auto brai = [](const QByteArray& rgce) {
        return QByteArray("\x01\x02", 2) + le16(0) + le16(0x00A4) + le16(rgce.size()) + rgce;
    };
    EXPECT_EQ(adjustRecord({0x1051, brai(absolute)}, Biff::V8, 2, removal, externs()),
              brai(absoluteMoved));
    EXPECT_EQ(adjustRecord({0x0203, QByteArray("\x0F\0", 2)}, Biff::V8, 0, removal, {}),
              QByteArray("\x0F\0", 2));
}

TEST(FormulaRefs, ExternSheetTables)
{
    const QByteArray self = le16(2) + le16(0x0401);
    const QByteArray other = le16(1) + le16(3) + QByteArray("\0a.x", 4);
    const QByteArray xtis = le16(3) + le16(1) + le16(1) + le16(1) + le16(0) + le16(0) + le16(0) +
                            le16(7) + le16(0) + le16(0);
    const ExternSheets biff8 =
        externSheets({{0x01AE, other}, {0x01AE, self}, {0x0017, xtis}}, Biff::V8);
    ASSERT_EQ(biff8.size(), 3u);
    EXPECT_TRUE(biff8[0].ownWorkbook);
    EXPECT_EQ(biff8[0].firstSheet, 1);
    EXPECT_TRUE(biff8[1].otherWorkbook);
    EXPECT_FALSE(biff8[2].ownWorkbook || biff8[2].otherWorkbook); // no SUPBOOK 7

    const auto sheet5 = [](const QByteArray& name) { return zeros(6) + char(name.size()) + name; };
    const ExternSheets biff5 = externSheets({{0x0085, sheet5("One")},
                                             {0x0085, sheet5("Two")},
                                             {0x0017, QByteArray("\x03\x03Two", 5)},
                                             {0x0017, QByteArray("\x04\x01"
                                                                 "a.x",
                                                                 5)}},
                                            Biff::V5);
    ASSERT_EQ(biff5.size(), 2u);
    EXPECT_TRUE(biff5[0].ownWorkbook);
    EXPECT_EQ(biff5[0].firstSheet, 1);
    EXPECT_TRUE(biff5[1].otherWorkbook);
}

} // namespace
} // namespace rxdeck::workbook::formula
