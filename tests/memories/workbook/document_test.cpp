// SPDX-License-Identifier: GPL-3.0-or-later
// Document: every cell record kind reads as a spreadsheet shows it, and edits change only the
// records of the cells involved.

#include "memories/workbook/biff.h"
#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/document.h"
#include "workbook_test_support.h"

#include "support/csvworkbook.h"
#include "support/files.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

namespace rxdeck::workbook {
namespace {

using biff8::Bytes;
using testing::Rows;
using testing::run;
using testing::sameRows;
using testing::text;
namespace type = biff::type;

// --- Hand-made workbooks ---------------------------------------------------------------------

QByteArray bof(bool biff8, std::uint16_t kind)
{
    return Bytes().u16(biff8 ? 0x0600 : 0x0500).u16(kind).u16(0).u16(0).u32(0).u32(6).data();
}

QByteArray xf(std::uint16_t format)
{
    return Bytes().u16(0).u16(format).u16(0x0001).raw(QByteArray(14, '\0')).data();
}

// One sheet "Sheet1" holding `cells`; the globals have 16 plain XFs, then XF 16 with the built-in
// date format 14 and XF 17 with the custom format 164, plus `globals`.
QByteArray workbook(bool biff8, const QByteArray& globals, const QByteArray& cells)
{
    Bytes out;
    out.record(type::bof, bof(biff8, 0x0005)).raw(globals);
    const QByteArray custom = "yyyy-mm-dd hh:mm";
    if (biff8)
        out.record(type::format, Bytes().u16(164).u16(16).u8(0).raw(custom).data());
    else
        out.record(type::format, Bytes().u16(164).u8(16).raw(custom).data());
    for (int i = 0; i < 16; ++i)
        out.record(type::xf, xf(0));
    out.record(type::xf, xf(14)).record(type::xf, xf(164));
    const qsizetype offsetField = out.size() + 4;
    Bytes sheet;
    sheet.u32(0).u8(0).u8(0).u8(6);
    if (biff8)
        sheet.u8(0);
    out.record(type::boundSheet, sheet.raw("Sheet1").data());
    out.record(type::eof, {});
    out.patchU32(offsetField, static_cast<std::uint32_t>(out.size()));
    out.record(type::bof, bof(biff8, 0x0010)).raw(cells).record(type::eof, {});
    return *compound::create(out.data(), biff8 ? "Workbook" : "Book");
}

QByteArray cell(std::uint16_t recordType, const QByteArray& value, std::uint16_t xfIndex = 15)
{
    return Bytes().record(recordType, Bytes().u16(0).u16(0).u16(xfIndex).raw(value).data()).data();
}

QByteArray formula(const QByteArray& result)
{
    // Result, flags, chn, then the tokens of =1 (tInt 1).
    return cell(type::formula, Bytes().raw(result).u16(0).u32(0).u16(3).u8(0x1E).u16(1).data());
}

QByteArray special(std::uint8_t kind, std::uint8_t value)
{
    return Bytes().u8(kind).u8(0).u8(value).u8(0).u16(0).u16(0xFFFF).data();
}

struct KindCase
{
    const char* name;
    bool biff8;
    QByteArray globals;
    QByteArray cells;
    Cell expected;
};

std::vector<KindCase> kindCases()
{
    const QByteArray sst = Bytes()
                               .record(type::sst, Bytes()
                                                      .u32(1)
                                                      .u32(1)
                                                      .u16(4)
                                                      .u8(1)
                                                      .u16(0x65E5)
                                                      .u16(0x672C)
                                                      .u16(0x0020)
                                                      .u16(0x03A9)
                                                      .data())
                               .data();
    const QByteArray cp1251 = Bytes().record(type::codepage, Bytes().u16(1251).data()).data();
    const QByteArray date1904 = Bytes().record(type::dateMode, Bytes().u16(1).data()).data();
    return {
        {"NUMBER", true, {}, cell(type::number, Bytes().f64(7.05).data()), 7.05},
        {"NUMBER not finite",
         true,
         {},
         cell(type::number, Bytes().f64(std::numeric_limits<double>::quiet_NaN()).data()),
         text("#NUM!")},
        {"RK integer", true, {}, cell(type::rk, Bytes().u32(14 << 2 | 0x02).data()), 14.0},
        {"RK hundredths", true, {}, cell(type::rk, Bytes().u32(705 << 2 | 0x03).data()), 7.05},
        {"MULRK",
         true,
         {},
         Bytes()
             .record(type::mulRk, Bytes()
                                      .u16(0)
                                      .u16(0)
                                      .u16(15)
                                      .u32(3 << 2 | 2)
                                      .u16(15)
                                      .u32(4 << 2 | 2)
                                      .u16(1)
                                      .data())
             .data(),
         3.0},
        {"LABEL BIFF8",
         true,
         {},
         cell(type::label, Bytes().u16(3).u8(0).raw("net").data()),
         text("net")},
        {"RSTRING",
         true,
         {},
         cell(type::rString, Bytes().u16(3).u8(0).raw("BBC").u16(1).u16(0).u16(1).data()),
         text("BBC")},
        {"LABELSST", true, sst, cell(type::labelSst, Bytes().u32(0).data()), text("日本 Ω")},
        {"BOOLERR true", true, {}, cell(type::boolErr, Bytes().u8(1).u8(0).data()), text("TRUE")},
        {"BOOLERR error",
         true,
         {},
         cell(type::boolErr, Bytes().u8(0x07).u8(1).data()),
         text("#DIV/0!")},
        {"FORMULA number", true, {}, formula(Bytes().f64(7050).data()), 7050.0},
        {"FORMULA text",
         true,
         {},
         formula(special(0, 0)) +
             Bytes().record(type::string, Bytes().u16(5).u8(0).raw("7 MHz").data()).data(),
         text("7 MHz")},
        {"FORMULA boolean", true, {}, formula(special(1, 0)), text("FALSE")},
        {"FORMULA error", true, {}, formula(special(2, 0x2A)), text("#N/A")},
        // xlwt stores no result (an empty text); =1 is evaluated on reading.
        {"FORMULA without a result", true, {}, formula(special(3, 0)), 1.0},
        {"date", true, {}, cell(type::number, Bytes().f64(45296).data(), 16), text("2024-01-05")},
        {"date and time, custom format",
         true,
         {},
         cell(type::number, Bytes().f64(45296.5).data(), 17),
         text("2024-01-05 12:00:00")},
        {"1904 dates", true, date1904, cell(type::number, Bytes().f64(0).data(), 16),
         text("1904-01-01")},
        {"BIFF5 LABEL in code page 1251", false, cp1251,
         cell(type::label, Bytes().u16(3).raw("\xcc\xe8\xf0").data()), text("Мир")},
        {"BIFF5 RK", false, {}, cell(type::rk, Bytes().u32(705 << 2 | 0x03).data()), 7.05},
        // A format whose text runs past its record reads as an unknown format, as elsewhere.
        {"malformed FORMAT record", true,
         Bytes().record(type::format, Bytes().u16(165).u16(40).u8(0).raw("0.0").data()).data(),
         cell(type::number, Bytes().f64(7.05).data()), 7.05},
    };
}

TEST(DocumentRead, EveryCellRecordKind)
{
    for (const KindCase& c : kindCases()) {
        SCOPED_TRACE(c.name);
        const Document::ParseResult parsed = Document::parse(workbook(c.biff8, c.globals, c.cells));
        ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
        EXPECT_EQ(parsed.document->format(),
                  c.biff8 ? Document::Format::Biff8 : Document::Format::Biff5);
        const Rows& rows = parsed.document->values().sheets.at(0).rows;
        const Cell first = rows.empty() || rows[0].empty() ? Cell{} : rows[0][0];
        EXPECT_EQ(first, c.expected) << ::testing::PrintToString(first);
    }
}

TEST(DocumentRead, NumberFormatsThatShowDatesAndTimes)
{
    struct Format
    {
        const char* format;
        bool date, time;
    };
    for (const Format& f : std::vector<Format>{
             {"General", false, false},
             {"#,##0.00 [$€-407];[Red]-#,##0.00", false, false},
             {"0.00E+00", false, false},
             {"0.000 \"MHz\"", false, false},
             {"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)", false, false},
             {"dd/mm/yyyy", true, false},
             {"mmm-yy", true, false},
             {"[$-409]h:mm:ss AM/PM", false, true},
             {"mm:ss", false, true},
             {"[h]:mm", false, true},
             {"yyyy-mm-dd hh:mm", true, true},
             {"\\d0 \"days\"", false, false},
         }) {
        SCOPED_TRACE(f.format);
        const biff::DateKind kind = biff::formatDateKind(QString::fromUtf8(f.format));
        EXPECT_EQ(kind.date, f.date);
        EXPECT_EQ(kind.time, f.time);
    }
}

// --- Edits -----------------------------------------------------------------------------------

std::vector<biff::Record> records(const QByteArray& file)
{
    const auto stream = compound::workbookStream(file);
    if (!std::holds_alternative<compound::Stream>(stream))
        return {};
    const auto split = biff::split(std::get<compound::Stream>(stream).bytes);
    return split ? split->records : std::vector<biff::Record>{};
}

// The records an edit of cells may change, recompute or add.
bool mayChange(std::uint16_t t)
{
    switch (t) {
    case type::boundSheet:
    case type::index:
    case type::dbCell:
    case type::dimensions:
    case type::sst:
    case type::extSst:
    case type::continued:
    case type::row:
    case type::string:
        return true;
    default:
        return biff::isCell(t);
    }
}

std::vector<std::pair<std::uint16_t, QByteArray>> untouched(const QByteArray& file)
{
    std::vector<std::pair<std::uint16_t, QByteArray>> out;
    for (const biff::Record& r : records(file))
        if (!mayChange(r.type))
            out.emplace_back(r.type, r.body);
    return out;
}

const QByteArray memoriesCsv = "Frequency,Note,kHz\n"
                               "7.05,net,=A2*1000\n"
                               "9.41,BBC,=A3*1000\n"
                               "14.23,café,=A4*1000\n"
                               "3.5,x,=SUM(A2:A4)\n";

// A workbook gnumeric's ssconvert writes from `csv` (sheet "Sheet1"), or nullopt without it.
std::optional<QByteArray> ssconvertFile(const char* exportType, const QByteArray& csv)
{
    QTemporaryDir dir;
    if (!dir.isValid() ||
        !rxdeck::test::workbookFromCsv(dir.filePath("out.xls"), csv, exportType).ok())
        return std::nullopt;
    return rxdeck::test::fileContents(dir.filePath("out.xls"));
}

struct Source
{
    const char* name;
    std::optional<QByteArray> file;
};

std::vector<Source> sources()
{
    const Workbook ours{{{"Sheet1",
                          {{text("Frequency"), text("Note")},
                           {7.05, text("net")},
                           {9.41, text("BBC")},
                           {14.23, text("café")}}},
                         {"Log", {{text("kept")}}}}};
    return {
        {"ours", encode(ours)},
        {"gnumeric BIFF8", ssconvertFile("Gnumeric_Excel:excel_biff8", memoriesCsv)},
        {"gnumeric BIFF5", ssconvertFile("Gnumeric_Excel:excel_biff7", memoriesCsv)},
    };
}

void put(Rows& rows, std::size_t row, std::size_t column, const Cell& value)
{
    rows.resize(std::max(rows.size(), row + 1));
    rows[row].resize(std::max(rows[row].size(), column + 1));
    rows[row][column] = value;
}

TEST(DocumentEdit, ChangesOnlyTheEditedCells)
{
    for (const Source& source : sources()) {
        SCOPED_TRACE(source.name);
        if (!source.file)
            continue; // ssconvert not installed; the corpus tests say so
        const Document::ParseResult parsed = Document::parse(*source.file);
        ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
        Document document = *parsed.document;
        Rows expected = document.values().sheets.at(0).rows;
        const std::size_t added = expected.size();

        ASSERT_FALSE(document.setCell(0, 1, 1, text("evening net")));        // replaces a text
        ASSERT_FALSE(document.setCell(0, 2, 0, 9.42));                       // replaces a number
        ASSERT_FALSE(document.setCell(0, 3, 0, Empty{}));                    // removes a cell
        ASSERT_FALSE(document.setCell(0, static_cast<int>(added), 0, 21.5)); // a new row
        ASSERT_FALSE(document.setCell(0, static_cast<int>(added), 1, text("new é")));
        put(expected, 1, 1, text("evening net"));
        put(expected, 2, 0, 9.42);
        put(expected, 3, 0, Empty{});
        put(expected, added, 0, 21.5);
        put(expected, added, 1, text("new é"));
        if (source.name != std::string("ours")) { // the kHz formulas follow the new values
            put(expected, 2, 2, 9.42 * 1000);
            put(expected, 3, 2, 0.0);
            put(expected, 4, 2, 7.05 + 9.42);
        }
        expected = testing::trimmed(expected);
        EXPECT_TRUE(sameRows(expected, document.values().sheets.at(0).rows));

        const std::optional<QByteArray> saved = document.save();
        ASSERT_TRUE(saved);
        const Document::ParseResult again = Document::parse(*saved);
        ASSERT_TRUE(again.document) << again.error.toStdString();
        EXPECT_EQ(again.document->format(), parsed.document->format());
        ASSERT_EQ(again.document->values().sheets.size(), parsed.document->values().sheets.size());
        EXPECT_TRUE(sameRows(expected, again.document->values().sheets[0].rows));
        for (std::size_t s = 1; s < parsed.document->values().sheets.size(); ++s)
            EXPECT_TRUE(sameRows(parsed.document->values().sheets[s].rows,
                                 again.document->values().sheets[s].rows));

        // Every record the edits had no business with, and every other stream, as it was.
        EXPECT_EQ(untouched(*saved), untouched(*source.file));
        const auto before = compound::streams(*source.file);
        const auto after = compound::streams(*saved);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].name, before[i].name);
            if (!before[i].name.endsWith("Book") && !before[i].name.endsWith("Workbook")) {
                EXPECT_EQ(after[i].bytes, before[i].bytes) << before[i].name.toStdString();
            }
        }
        // A new row gets a ROW record where the sheet has them.
        const auto all = records(*saved);
        const auto hasRow = [&all](int row) {
            return std::any_of(all.begin(), all.end(), [row](const biff::Record& r) {
                return r.type == type::row && biff::get16(r.body, 0) == row;
            });
        };
        if (hasRow(0)) {
            EXPECT_TRUE(hasRow(static_cast<int>(added)));
        }
        // New cells take the format of the cell above them.
        const auto xfOf = [&all](int row, int column) {
            for (const biff::Record& r : all)
                if (biff::isCell(r.type) && biff::get16(r.body, 0) == row &&
                    biff::get16(r.body, 2) == column)
                    return static_cast<int>(biff::get16(r.body, 4));
            return -1;
        };
        EXPECT_EQ(xfOf(static_cast<int>(added), 1), xfOf(static_cast<int>(added) - 1, 1));

        if (!testing::haveXlrd())
            continue;
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        rxdeck::test::putFile(dir.filePath("edited.xls"), *saved);
        const auto sheets = testing::xlrdSheets(dir.filePath("edited.xls"));
        ASSERT_TRUE(sheets);
        EXPECT_TRUE(sameRows(expected, sheets->at(0).second));
    }
}

// Checks INDEX and DBCELL of every sheet against the records they point at: each INDEX entry
// is a DBCELL, which points back at the first ROW record of its block and at the first cell of
// each of its rows in turn. Returns what is wrong, or an empty text.
QString rowBlockProblems(const QByteArray& file, bool biff8)
{
    const QByteArray stream = std::get<compound::Stream>(compound::workbookStream(file)).bytes;
    const auto typeAt = [&stream](qsizetype pos) {
        return pos >= 0 && pos + 4 <= stream.size() ? biff::get16(stream, pos) : 0;
    };
    const auto rowAt = [&stream](qsizetype pos) { return biff::get16(stream, pos + 4); };
    for (qsizetype pos = 0; pos + 4 <= stream.size(); pos += 4 + biff::get16(stream, pos + 2)) {
        if (typeAt(pos) != type::index)
            continue;
        const qsizetype length = biff::get16(stream, pos + 2);
        for (qsizetype field = pos + 4 + (biff8 ? 16 : 12); field < pos + 4 + length; field += 4) {
            const qsizetype db = biff::get32(stream, field);
            if (typeAt(db) != type::dbCell)
                return QStringLiteral("INDEX entry at %1 is no DBCELL").arg(field);
            const qsizetype firstRow = db - biff::get32(stream, db + 4);
            if (typeAt(firstRow) != type::row)
                return QStringLiteral("DBCELL at %1 does not point at a ROW record").arg(db);
            const int rows = (biff::get16(stream, db + 2) - 4) / 2;
            qsizetype cell = firstRow + 4 + biff::get16(stream, firstRow + 2);
            for (int k = 0; k < rows; ++k) {
                cell += biff::get16(stream, db + 8 + 2 * k);
                const qsizetype rowRecord = firstRow + 20 * k;
                if (typeAt(rowRecord) != type::row || !biff::isCell(typeAt(cell)) ||
                    rowAt(cell) != rowAt(rowRecord))
                    return QStringLiteral("DBCELL at %1 row %2 points elsewhere").arg(db).arg(k);
            }
        }
    }
    return {};
}

TEST(DocumentEdit, NewRowsGoIntoRowBlocks)
{
    for (const char* exportType : {"Gnumeric_Excel:excel_biff8", "Gnumeric_Excel:excel_biff7"}) {
        SCOPED_TRACE(exportType);
        const std::optional<QByteArray> file = ssconvertFile(exportType, memoriesCsv);
        if (!file)
            GTEST_SKIP() << "ssconvert (package gnumeric) is not installed";
        const bool biff8 = QByteArray(exportType).endsWith('8');
        Document document = *Document::parse(*file).document;
        Rows expected = document.values().sheets[0].rows;
        // Rows 5 to 69 fill the first block of 32 rows and two more.
        for (int row = 69; row >= 5; --row) {
            ASSERT_FALSE(document.setCell(0, row, 1, QStringLiteral("memory %1").arg(row)));
            put(expected, static_cast<std::size_t>(row), 1, QStringLiteral("memory %1").arg(row));
        }
        ASSERT_FALSE(document.removeRow(0, 40));
        expected.erase(expected.begin() + 40);
        const QByteArray saved = *document.save();
        EXPECT_EQ(rowBlockProblems(saved, biff8), QString());
        EXPECT_TRUE(sameRows(expected, Document::parse(saved).document->values().sheets[0].rows));
        if (testing::haveXlrd()) {
            QTemporaryDir dir;
            ASSERT_TRUE(dir.isValid());
            rxdeck::test::putFile(dir.filePath("rows.xls"), saved);
            EXPECT_TRUE(
                sameRows(expected, testing::xlrdSheets(dir.filePath("rows.xls"))->at(0).second));
        }
    }
}

// Values ssconvert computes for a file after recalculating every formula, as CSV.
std::optional<QString> recalculated(const QByteArray& file)
{
    const QString ssconvert = testing::ssconvertPath();
    QTemporaryDir dir;
    if (ssconvert.isEmpty() || !dir.isValid())
        return std::nullopt;
    rxdeck::test::putFile(dir.filePath("in.xls"), file);
    const auto converted = run(ssconvert, {"--recalc", "in.xls", "out.csv"}, dir.path());
    if (!converted.ran || converted.exitCode != 0)
        return std::nullopt;
    return QString::fromUtf8(rxdeck::test::fileContents(dir.filePath("out.csv")));
}

TEST(DocumentEdit, RemovedRowMovesRowsAndFormulasUp)
{
    for (const char* exportType : {"Gnumeric_Excel:excel_biff8", "Gnumeric_Excel:excel_biff7"}) {
        SCOPED_TRACE(exportType);
        const std::optional<QByteArray> file = ssconvertFile(exportType, memoriesCsv);
        if (!file)
            GTEST_SKIP() << "ssconvert (package gnumeric) is not installed";
        Document document = *Document::parse(*file).document;
        ASSERT_FALSE(document.removeRow(0, 2));
        const Rows expected{{text("Frequency"), text("Note"), text("kHz")},
                            {7.05, text("net"), 7050.0},
                            {14.23, text("café"), 14230.0},
                            {3.5, text("x"), 7.05 + 14.23}}; // results recalculated
        EXPECT_TRUE(sameRows(expected, document.values().sheets.at(0).rows));
        const QByteArray saved = *document.save();
        EXPECT_TRUE(sameRows(expected, Document::parse(saved).document->values().sheets[0].rows));

        int rowEnd = -1;
        std::vector<int> rowRecords;
        for (const biff::Record& r : records(saved)) {
            if (r.type == type::dimensions)
                rowEnd = QByteArray(exportType).endsWith('8')
                             ? static_cast<int>(biff::get32(r.body, 4))
                             : biff::get16(r.body, 2);
            if (r.type == type::row)
                rowRecords.push_back(biff::get16(r.body, 0));
        }
        EXPECT_EQ(rowEnd, 4);
        EXPECT_EQ(rowRecords, (std::vector<int>{0, 1, 2, 3}));

        // The formulas now point at the moved cells: =A3*1000 and =SUM(A2:A3).
        const std::optional<QString> csv = recalculated(saved);
        ASSERT_TRUE(csv);
        const QStringList lines = csv->split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 4);
        for (const auto& [line, value] : {std::pair{2, 14230.0}, std::pair{3, 21.28}})
            EXPECT_NEAR(lines[line].section(u',', 2).toDouble(), value, 1e-9)
                << lines[line].toStdString();
    }
}

TEST(DocumentEdit, RemovalAFormulaCannotFollowChangesNothing)
{
    const std::optional<QByteArray> file =
        ssconvertFile("Gnumeric_Excel:excel_biff8", memoriesCsv + "1,y,=A2+1\n");
    if (!file)
        GTEST_SKIP() << "ssconvert (package gnumeric) is not installed";
    Document document = *Document::parse(*file).document;
    const Workbook before = document.values();
    const std::optional<QString> refused = document.removeRow(0, 1); // =A2+1 would lose A2
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->isEmpty());
    EXPECT_TRUE(sameRows(before.sheets[0].rows, document.values().sheets[0].rows));
    EXPECT_EQ(document.save(), *file);
}

// Shared string table: strings that fill the SST record so that new ones go on in CONTINUE
// records, one of them split across the boundary with its flags byte repeated.
TEST(DocumentEdit, NewStringsContinueAcrossRecordsAndExtSstPointsAtThem)
{
    Rows rows{{text("Frequency"), text("Note")}};
    for (int i = 0; i < 53; ++i) // 53 strings of 150 characters: 8,103 bytes of the SST record
        rows.push_back({static_cast<double>(i), QString(147, u'a') + QString::number(i + 100)});
    Document document = *Document::create({{{"Sheet1", rows}}});
    const QString latin = QString(400, u'l');
    const QString wide = QString(5000, QChar(0x65E5));
    const auto row = static_cast<int>(rows.size());
    ASSERT_FALSE(document.setCell(0, row, 1, latin));
    ASSERT_FALSE(document.setCell(0, row + 1, 1, wide));
    ASSERT_FALSE(document.setCell(0, row + 2, 1, text("net"))); // already in the table
    ASSERT_FALSE(document.setCell(0, row + 3, 1, rows[5][1]));
    rows.push_back({Empty{}, latin});
    rows.push_back({Empty{}, wide});
    rows.push_back({Empty{}, text("net")});
    rows.push_back({Empty{}, rows[5][1]});
    const QByteArray saved = *document.save();
    EXPECT_TRUE(sameRows(rows, Document::parse(saved).document->values().sheets[0].rows));

    // Every EXTSST entry points at the start of a string, inside the record it names.
    const QByteArray stream = std::get<compound::Stream>(compound::workbookStream(saved)).bytes;
    const auto all = records(saved);
    const auto ext = std::find_if(all.begin(), all.end(),
                                  [](const biff::Record& r) { return r.type == type::extSst; });
    ASSERT_NE(ext, all.end());
    const int perBucket = biff::get16(ext->body, 0);
    std::vector<QString> strings{QStringLiteral("Frequency"), QStringLiteral("Note")};
    for (int i = 0; i < 53; ++i)
        strings.push_back(std::get<QString>(rows[i + 1][1]));
    strings.push_back(latin);
    strings.push_back(wide);
    ASSERT_EQ(ext->body.size(),
              2 + 8 * ((static_cast<qsizetype>(strings.size()) + perBucket - 1) / perBucket));
    for (qsizetype k = 0; 2 + 8 * k < ext->body.size(); ++k) {
        const qsizetype at = biff::get32(ext->body, 2 + 8 * k);
        const qsizetype recordStart = at - biff::get16(ext->body, 6 + 8 * k);
        EXPECT_TRUE(biff::get16(stream, recordStart) == type::sst ||
                    biff::get16(stream, recordStart) == type::continued);
        EXPECT_EQ(biff::get16(stream, at), strings[static_cast<std::size_t>(k * perBucket)].size());
    }
    if (testing::haveXlrd()) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        rxdeck::test::putFile(dir.filePath("strings.xls"), saved);
        EXPECT_TRUE(sameRows(rows, testing::xlrdSheets(dir.filePath("strings.xls"))->at(0).second));
    }
}

// Typed text equal to a shared string with bold or italic runs gets a plain string of its
// own, as a spreadsheet program stores it, rather than taking on those runs.
TEST(DocumentEdit, TypedTextNeverReusesARichTextString)
{
    const QByteArray sst = Bytes()
                               .record(type::sst, Bytes()
                                                      .u32(2)
                                                      .u32(2)
                                                      .u16(3) // "net", one run: font 1 from 0
                                                      .u8(0x08)
                                                      .u16(1)
                                                      .raw("net")
                                                      .u16(0)
                                                      .u16(1)
                                                      .u16(3) // "BBC", plain
                                                      .u8(0)
                                                      .raw("BBC")
                                                      .data())
                               .data();
    Document document =
        *Document::parse(workbook(true, sst, cell(type::labelSst, Bytes().u32(0).data()))).document;
    ASSERT_FALSE(document.setCell(0, 1, 0, text("net")));
    ASSERT_FALSE(document.setCell(0, 2, 0, text("BBC")));
    std::vector<std::uint32_t> indexes;
    for (const biff::Record& r : records(*document.save()))
        if (r.type == type::labelSst)
            indexes.push_back(biff::get32(r.body, 6));
    EXPECT_EQ(indexes, (std::vector<std::uint32_t>{0, 2, 1}));
}

// A frequency typed into a date cell keeps the cell's font, fill and borders with the general
// number format: one new XF, a copy of the old with format 0.
TEST(DocumentEdit, ANumberInADateCellKeepsItsLookWithTheGeneralFormat)
{
    for (const bool biff8 : {true, false}) {
        SCOPED_TRACE(biff8 ? "BIFF8" : "BIFF5");
        QByteArray file = workbook(biff8, {}, cell(type::number, Bytes().f64(45296).data(), 16));
        // The date XF gets font 1, so that no XF of the workbook looks like it.
        const qsizetype dateXf = file.indexOf(xf(14));
        ASSERT_GE(dateXf, 0);
        file[dateXf] = 1;
        Document document = *Document::parse(file).document;
        ASSERT_FALSE(document.setCell(0, 0, 0, 7.05));
        ASSERT_FALSE(document.setCell(0, 0, 0, 14.2)); // the general XF is there now
        EXPECT_EQ(document.values().sheets[0].rows, (Rows{{14.2}}));
        const QByteArray saved = *document.save();
        std::vector<QByteArray> xfs;
        std::vector<std::uint16_t> cellXfs;
        for (const biff::Record& r : records(saved)) {
            if (r.type == type::xf)
                xfs.push_back(r.body);
            if (r.type == type::number)
                cellXfs.push_back(biff::get16(r.body, 4));
        }
        QByteArray general = xfs.at(16);
        biff::put16(general, 2, 0);
        ASSERT_EQ(xfs.size(), 19u);
        EXPECT_EQ(xfs[18], general);
        EXPECT_EQ(cellXfs, (std::vector<std::uint16_t>{18}));
        EXPECT_EQ(Document::parse(saved).document->values().sheets[0].rows, (Rows{{14.2}}));
    }
}

TEST(DocumentEdit, Biff5TextOutsideItsCodePageIsRefused)
{
    const std::optional<QByteArray> file = ssconvertFile("Gnumeric_Excel:excel_biff7", memoriesCsv);
    if (!file)
        GTEST_SKIP() << "ssconvert (package gnumeric) is not installed";
    Document document = *Document::parse(*file).document;
    ASSERT_EQ(document.format(), Document::Format::Biff5);
    const std::optional<QString> refused = document.setCell(0, 1, 1, text("日本 net"));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->contains("Excel 5.0")) << refused->toStdString();
    EXPECT_EQ(document.save(), *file);
    ASSERT_FALSE(document.setCell(0, 1, 1, text("Ü € net")));
    EXPECT_EQ(Document::parse(*document.save()).document->values().sheets[0].rows[1][1],
              text("Ü € net"));
}

// FORMULA with the ptgExp of a shared formula anchored at (0, 0); the anchor carries SHRFMLA.
QByteArray sharedFormulaCells()
{
    const auto shared = [](int row) {
        return Bytes()
            .record(type::formula, Bytes()
                                       .u16(static_cast<std::uint16_t>(row))
                                       .u16(0)
                                       .u16(15)
                                       .f64(row)
                                       .u16(0)
                                       .u32(0)
                                       .u16(5)
                                       .u8(0x01)
                                       .u16(0)
                                       .u16(0)
                                       .data())
            .data();
    };
    return shared(0) +
           Bytes()
               .record(type::shrFmla,
                       Bytes().u16(0).u16(1).u8(0).u8(0).u16(0).u16(3).u8(0x1E).u16(1).data())
               .data() +
           shared(1);
}

TEST(DocumentEdit, TypingOverFormulas)
{
    // Over a formula with a text result: the value replaces it, its STRING record goes too.
    Document textResult =
        *Document::parse(
             workbook(
                 true, {},
                 formula(special(0, 0)) +
                     Bytes().record(type::string, Bytes().u16(2).u8(0).raw("ab").data()).data()))
             .document;
    ASSERT_FALSE(textResult.setCell(0, 0, 0, 7.05));
    const auto kept = records(*textResult.save());
    EXPECT_EQ(std::count_if(kept.begin(), kept.end(),
                            [](const biff::Record& r) {
                                return r.type == type::formula || r.type == type::string;
                            }),
              0);
    EXPECT_EQ(Document::parse(*textResult.save()).document->values().sheets[0].rows, Rows{{7.05}});

    // The anchor of a shared formula is refused, another cell of it is replaced.
    Document shared = *Document::parse(workbook(true, {}, sharedFormulaCells())).document;
    EXPECT_TRUE(shared.setCell(0, 0, 0, 1.0));
    ASSERT_FALSE(shared.setCell(0, 1, 0, text("typed")));
    EXPECT_EQ(Document::parse(*shared.save()).document->values().sheets[0].rows,
              (Rows{{0.0}, {text("typed")}}));
}

TEST(DocumentEdit, SplitsMulRecordsAroundTheEditedCell)
{
    // Row 0: MULRK of 1, 2, 3 in columns 0-2; row 1: MULBLANK over columns 0-2.
    const QByteArray cells =
        Bytes()
            .record(type::mulRk, Bytes()
                                     .u16(0)
                                     .u16(0)
                                     .u16(15)
                                     .u32(1 << 2 | 2)
                                     .u16(15)
                                     .u32(2 << 2 | 2)
                                     .u16(15)
                                     .u32(3 << 2 | 2)
                                     .u16(2)
                                     .data())
            .record(type::mulBlank, Bytes().u16(1).u16(0).u16(15).u16(15).u16(15).u16(2).data())
            .data();
    struct Case
    {
        int row, column;
        Cell value;
        Rows expected;
        std::vector<std::uint16_t> types; // cell records of the sheet after the edit
    };
    const std::vector<Case> cases{
        {0, 1, 9.5, {{1.0, 9.5, 3.0}}, {type::rk, type::number, type::rk, type::mulBlank}},
        {0, 0, Empty{}, {{Empty{}, 2.0, 3.0}}, {type::mulRk, type::mulBlank}},
        {0, 2, text("x"), {{1.0, 2.0, text("x")}}, {type::mulRk, type::labelSst, type::mulBlank}},
        {1,
         1,
         4.0,
         {{1.0, 2.0, 3.0}, {Empty{}, 4.0}},
         {type::mulRk, type::blank, type::number, type::blank}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.row << "," << c.column);
        Document document = *Document::parse(workbook(true, {}, cells)).document;
        ASSERT_FALSE(document.setCell(0, c.row, c.column, c.value));
        const QByteArray saved = *document.save();
        EXPECT_EQ(Document::parse(saved).document->values().sheets[0].rows, c.expected);
        std::vector<std::uint16_t> types;
        for (const biff::Record& r : records(saved))
            if (biff::isCell(r.type))
                types.push_back(r.type);
        EXPECT_EQ(types, c.types);
    }
}

// Some exporters write formulas with the record type of Excel 4.0 (no chn field before the
// tokens): they read with their cached result, move with a delete and are replaced by typing.
TEST(DocumentEdit, OldFormulaRecordsAreReadMovedAndTypedOver)
{
    Bytes sheet;
    for (int row = 0; row < 4; ++row)
        sheet.record(type::number, Bytes().u16(row).u16(0).u16(15).f64(row + 1).data());
    const QByteArray tokens = Bytes().u8(0x44).u16(3).u16(0xC000).data(); // =A4
    sheet.record(type::oldFormula,
                 Bytes().u16(3).u16(1).u16(15).f64(4).u16(0).u16(tokens.size()).raw(tokens).data());
    Document document = *Document::parse(workbook(true, {}, sheet.data())).document;
    EXPECT_EQ(document.values().sheets[0].rows[3], (std::vector<Cell>{4.0, 4.0}));

    ASSERT_FALSE(document.removeRow(0, 1));
    const auto formulas = [](const QByteArray& file) {
        std::vector<biff::Record> out;
        for (const biff::Record& r : records(file))
            if (r.type == type::oldFormula)
                out.push_back(r);
        return out;
    };
    const std::vector<biff::Record> moved = formulas(*document.save());
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(biff::get16(moved[0].body, 0), 2);  // its own row
    EXPECT_EQ(biff::get16(moved[0].body, 19), 2); // the row of A4, now A3

    ASSERT_FALSE(document.setCell(0, 2, 1, text("typed")));
    const QByteArray saved = *document.save();
    EXPECT_TRUE(formulas(saved).empty());
    EXPECT_EQ(Document::parse(saved).document->values().sheets[0].rows[2],
              (std::vector<Cell>{4.0, text("typed")}));
}

// Row 2 of six is removed; each row gives a sheet structure and what it must become: moved up
// below the row, shrunk where the row cuts through it, gone with a row it lies in, or the
// removal refused.
TEST(DocumentEdit, RemovalMovesTheStructuresTiedToRows)
{
    const auto ref8 = [](int first, int last) {
        return Bytes().u16(first).u16(last).u16(0).u16(1);
    };
    const auto hlink = [&](int first, int last) {
        return Bytes().raw(ref8(first, last).data()).raw(QByteArray(24, '\x11')).data();
    };
    const auto tooltip = [&](int first, int last) {
        return Bytes()
            .u16(0x0800)
            .raw(ref8(first, last).data())
            .raw(QByteArray("t\0\0\0", 4))
            .data();
    };
    const auto note = [](int row) { return Bytes().u16(row).u16(1).u16(0).u16(1).u16(0).data(); };
    const auto breaks = [](std::vector<int> rows) {
        Bytes b;
        b.u16(static_cast<std::uint16_t>(rows.size()));
        for (int r : rows)
            b.u16(r).u16(0).u16(255);
        return b.data();
    };
    // CONDFMT over rows first..last with one CF rule: cell value equal to A(ref + 1).
    const auto condFmt = [&](int first, int last) {
        return Bytes()
            .u16(1)
            .u16(2)
            .raw(ref8(first, last).data())
            .u16(1)
            .raw(ref8(first, last).data())
            .data();
    };
    const auto cfRule = [](int refRow) {
        const QByteArray tokens = Bytes().u8(0x44).u16(refRow).u16(0xC000).data();
        return Bytes().u8(1).u8(3).u16(tokens.size()).u16(0).u32(0).u16(0).raw(tokens).data();
    };
    const auto dval = [](int count) {
        return Bytes().u16(0).u32(0).u32(0).u32(0xFFFFFFFF).u32(count).data();
    };
    const auto dv = [&](int first, int last) {
        Bytes b;
        b.u32(0x0103); // whole number, between
        for (int k = 0; k < 4; ++k)
            b.u16(1).u8(0).u8(0);
        b.u16(3).u16(0).u8(0x1E).u16(1).u16(3).u16(0).u8(0x1E).u16(9);
        return b.u16(1).raw(ref8(first, last).data()).data();
    };
    // A drawing of one shape anchored from row top to row bottom (offsets dyTop, dyBottom).
    const auto drawing = [](int top, int dyTop, int bottom, int dyBottom) {
        const QByteArray anchor = Bytes()
                                      .u16(0)
                                      .u16(1)
                                      .u16(0)
                                      .u16(top)
                                      .u16(dyTop)
                                      .u16(3)
                                      .u16(0)
                                      .u16(bottom)
                                      .u16(dyBottom)
                                      .data();
        const QByteArray atom = Bytes().u16(0).u16(0xF010).u32(18).raw(anchor).data();
        return Bytes().u16(0x000F).u16(0xF004).u32(atom.size()).raw(atom).data();
    };
    const auto scrollBar = Bytes()
                               .u16(0x15)
                               .u16(18)
                               .u16(7)
                               .u16(1)
                               .u16(0)
                               .raw(QByteArray(12, '\0'))
                               .u16(0x0E)
                               .u16(2)
                               .u16(0)
                               .u16(0)
                               .u16(0)
                               .data();
    using R = biff::Record;
    const struct
    {
        const char* what;
        std::vector<R> given;
        std::optional<std::vector<R>> expected; // nullopt: refused
    } cases[] = {
        {"hyperlink and tooltip below move up",
         {{type::hLink, hlink(4, 5)}, {type::hLinkTooltip, tooltip(4, 5)}},
         {{{type::hLink, hlink(3, 4)}, {type::hLinkTooltip, tooltip(3, 4)}}}},
        {"hyperlink in the row goes with its tooltip",
         {{type::hLink, hlink(2, 2)}, {type::hLinkTooltip, tooltip(2, 2)}},
         std::vector<R>{}},
        {"hyperlink across the row shrinks",
         {{type::hLink, hlink(1, 3)}},
         {{{type::hLink, hlink(1, 2)}}}},
        {"comment below moves up", {{type::note, note(5)}}, {{{type::note, note(4)}}}},
        {"comment in the row refuses", {{type::note, note(2)}}, std::nullopt},
        {"page break before the row goes, one below moves",
         {{type::horizontalPageBreaks, breaks({1, 2, 4})}},
         {{{type::horizontalPageBreaks, breaks({1, 3})}}}},
        {"conditional format shrinks and its formula follows A5",
         {{type::condFmt, condFmt(1, 3)}, {type::cf, cfRule(4)}},
         {{{type::condFmt, condFmt(1, 2)}, {type::cf, cfRule(3)}}}},
        {"conditional format on A3 alone refers to A3 itself",
         {{type::condFmt, condFmt(0, 5)}, {type::cf, cfRule(2)}},
         std::nullopt},
        {"validation in the row goes, with its header",
         {{type::dVal, dval(1)}, {type::dv, dv(2, 2)}},
         std::vector<R>{}},
        {"validation below moves up",
         {{type::dVal, dval(1)}, {type::dv, dv(3, 5)}},
         {{{type::dVal, dval(1)}, {type::dv, dv(2, 4)}}}},
        {"shape below moves up",
         {{type::msoDrawing, drawing(3, 10, 5, 20)}},
         {{{type::msoDrawing, drawing(2, 10, 4, 20)}}}},
        {"shape across the row shrinks",
         {{type::msoDrawing, drawing(1, 10, 4, 20)}},
         {{{type::msoDrawing, drawing(1, 10, 3, 20)}}}},
        {"shape starting in the row starts as far into the row below",
         {{type::msoDrawing, drawing(2, 10, 4, 20)}},
         {{{type::msoDrawing, drawing(2, 10, 3, 20)}}}},
        {"shape ending in the row ends as far into the row below",
         {{type::msoDrawing, drawing(1, 10, 2, 20)}},
         {{{type::msoDrawing, drawing(1, 10, 2, 20)}}}},
        {"shape inside the row refuses", {{type::msoDrawing, drawing(2, 10, 3, 0)}}, std::nullopt},
        {"drawing cut short refuses",
         {{type::msoDrawing, drawing(3, 0, 4, 0).left(20)}},
         std::nullopt},
        {"scroll bar linked to a cell refuses", {{type::obj, scrollBar}}, std::nullopt},
        {"conditional format of a newer Excel refuses",
         {{type::condFmt12, QByteArray(30, '\0')}},
         std::nullopt},
    };
    const auto isStructure = [](std::uint16_t t) {
        return t != type::number && t != type::bof && t != type::eof && t != type::dimensions;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes sheet;
        for (int row = 0; row < 6; ++row)
            sheet.record(type::number, Bytes().u16(row).u16(0).u16(15).f64(row).data());
        for (const R& r : c.given)
            sheet.record(r.type, r.body);
        const QByteArray file = workbook(true, {}, sheet.data());
        Document document = *Document::parse(file).document;
        const std::optional<QString> refused = document.removeRow(0, 2);
        EXPECT_EQ(refused.has_value(), !c.expected.has_value());
        if (refused) {
            EXPECT_EQ(document.save(), file);
            continue;
        }
        std::vector<R> got;
        const std::vector<R> all = records(*document.save());
        for (auto r = std::find_if(all.begin() + 1, all.end(),
                                   [](const R& x) { return x.type == type::bof; }) +
                      1;
             r != all.end(); ++r)
            if (isStructure(r->type))
                got.push_back(*r);
        ASSERT_EQ(got.size(), c.expected->size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, (*c.expected)[i].type);
            EXPECT_EQ(got[i].body.toHex().toStdString(),
                      (*c.expected)[i].body.toHex().toStdString());
        }
    }
}

// olefile, an independent reader, stamps distinct times on every directory entry of a file
// ("stamp") and lists each entry's path with its times ("times").
constexpr const char* oleTimes = R"(
import olefile, sys
o = olefile.OleFileIO(sys.argv[2], write_mode=sys.argv[1] == 'stamp')
if sys.argv[1] == 'stamp':
    chain, s = [], o.first_dir_sector
    while s < 0xFFFFFFFA:
        chain.append(s)
        s = o.fat[s]
    per = o.sectorsize // 128
    for i, e in enumerate(o.direntries):
        if e is None:
            continue
        sector = bytearray(o.getsect(chain[i // per]))
        at = (i % per) * 128 + 100
        t = 130000000000000000 + i * 86400 * 10**7 + 1234567
        sector[at:at + 16] = t.to_bytes(8, 'little') + (t + 5 * 10**7).to_bytes(8, 'little')
        o.write_sect(chain[i // per], bytes(sector))
else:
    print('', o.root.createTime, o.root.modifyTime)
    for path in o.listdir(streams=True, storages=True):
        e = o.direntries[o._find(path)]
        print('/'.join(path), e.createTime, e.modifyTime)
)";

TEST(DocumentSave, KeepsTheDirectoryTimestamps)
{
    QTemporaryDir dir;
    const auto probe = run(testing::python, {"-c", "import olefile"});
    if (!probe.ran || probe.exitCode != 0)
        GTEST_SKIP() << "python3-olefile is not installed";
    for (const Source& source : sources()) {
        SCOPED_TRACE(source.name);
        if (!source.file)
            continue;
        const QString original = dir.filePath("original.xls");
        const QString saved = dir.filePath("saved.xls");
        rxdeck::test::putFile(original, *source.file);
        ASSERT_EQ(run(testing::python, {"-c", oleTimes, "stamp", original}).exitCode, 0);
        const Document::ParseResult parsed = Document::parse(rxdeck::test::fileContents(original));
        ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
        Document document = *parsed.document;
        ASSERT_FALSE(document.setCell(0, 1, 1, text("evening net")));
        const std::optional<QByteArray> bytes = document.save();
        ASSERT_TRUE(bytes);
        rxdeck::test::putFile(saved, *bytes);
        const auto before = run(testing::python, {"-c", oleTimes, "times", original});
        const auto after = run(testing::python, {"-c", oleTimes, "times", saved});
        ASSERT_EQ(before.exitCode, 0) << before.err.toStdString();
        EXPECT_GE(before.out.count('\n'), 2);
        EXPECT_TRUE(before.out.contains(" 130000000"));
        EXPECT_EQ(after.out.toStdString(), before.out.toStdString());
    }
}

} // namespace
} // namespace rxdeck::workbook
