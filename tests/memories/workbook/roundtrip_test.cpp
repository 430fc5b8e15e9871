// SPDX-License-Identifier: GPL-3.0-or-later
// What write() stores, read() gives back: every sheet, every cell, exactly.

#include "memories/workbook/workbook.h"
#include "workbook_test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <QDir>
#include <QTemporaryDir>

namespace rxdeck::workbook {
namespace {

using testing::Rows;
using testing::sameRows;
using testing::text;
using testing::trimmed;

struct RoundTrip
{
    const char* name;
    Workbook book;
};

Rows numberRows()
{
    Rows rows{{text("Frequency"), text("Note")}};
    for (double v : {0.0, 1.0, 30.0, 65535.0, 2147483648.0, 9007199254740993.0, 7.05, 0.005, 0.0049,
                     14.2305, -3.5, -0.0001, -7.0, 1e300, 1e-300, 5e-324,
                     -std::numeric_limits<double>::max(), 123456789.123456789})
        rows.push_back({v, text("n")});
    return rows;
}

Rows unicodeRows()
{
    return {
        {text("Frequency"), text("Note")},
        {6.07, text("Ωmega Radio – Wien")},
        {9.5, text("日本")},
        {11.7, text("café crème")},          // Latin-1 only: stored one byte per character
        {15.0, text("📻 Kurzwelle")},         // a character outside the 16-bit range
        {0.198, text("line one\nline two")}, // control characters are kept
        {3.3, text("  leading and trailing blanks  ")},
    };
}

Rows longTextRows()
{
    // Many medium texts push the shared string table over several records; the two longest
    // texts a cell can hold fill two records each.
    Rows rows{{text("Frequency"), text("Note")}};
    for (int i = 0; i < 400; ++i) {
        const QString note =
            (i % 3 == 0) ? QString(97, QChar(0x4E00 + i)) : QString(150 + i, QChar(u'a' + i % 26));
        rows.push_back({static_cast<double>(i), note});
    }
    rows.push_back({1.0, QString(maxLatin1TextLength, 'L')});
    rows.push_back({2.0, QString(maxTextLength, QChar(0x3042))});
    rows.push_back({3.0, QString(300, 'x') + QString(5000, QChar(0x3042))});
    return rows;
}

std::vector<RoundTrip> roundTrips()
{
    std::vector<RoundTrip> cases;
    cases.push_back({"numbers", {{{"Sheet1", numberRows()}}}});
    cases.push_back({"unicode text", {{{"Sheet1", unicodeRows()}}}});
    cases.push_back({"long text", {{{"Sheet1", longTextRows()}}}});
    cases.push_back({"empty cells in the middle",
                     {{{"Sheet1",
                        {{text("Frequency"), text("Note")},
                         {7.05, Empty{}, text("stray")},
                         {Empty{}, text("no frequency")},
                         {},
                         {Empty{}, Empty{}, Empty{}, 4.0}}}}}});
    cases.push_back(
        {"ragged rows and extra columns",
         {{{"Sheet1",
            {{text("Note"), text("Mode"), text("Frequency"), text("Comment")},
             {text("BBC"), text("AM"), 9.41},
             {text("DCF77")},
             {text("W1AW"), text("CW"), 7.0475, text("bulletins"), text("beyond header")}}}}}});
    cases.push_back({"leading empty rows and columns",
                     {{{"Sheet1",
                        {{},
                         {},
                         {Empty{}, Empty{}, text("Frequency"), text("Note")},
                         {Empty{}, Empty{}, 7.05}}}}}});
    cases.push_back({"several sheets, one empty",
                     {{{"Sheet1", {{text("Frequency"), text("Note")}, {7.05, text("net")}}},
                       {"Empty", {}},
                       {"Wellen Ωmega", {{text("x"), 1.0}}},
                       {"Log", {{text("2024-01-05"), text("12:30:00")}}}}}});
    cases.push_back({"blank texts and empty trailing cells are dropped",
                     {{{"Sheet1",
                        {{text("Frequency"), text(""), Empty{}},
                         {7.05, text("ok"), text("")},
                         {},
                         {Empty{}}}}}}});
    cases.push_back({"repeated texts",
                     {{{"Sheet1", Rows(50, {text("same"), text("same"), 1.0, text("日本")})}}}});

    Rows farRow(maxRows);
    farRow.back() = {text("last row")};
    std::vector<Cell> wideRow(maxColumns);
    wideRow.front() = text("first column");
    wideRow.back() = text("last column");
    cases.push_back({"largest row and column", {{{"Sheet1", farRow}, {"Wide", {wideRow}}}}});
    return cases;
}

void PrintTo(const RoundTrip& trip, std::ostream* os)
{
    *os << trip.name;
}

class WorkbookRoundTrip : public ::testing::TestWithParam<RoundTrip>
{
};

TEST_P(WorkbookRoundTrip, ReadGivesBackWhatWasWritten)
{
    const Workbook& book = GetParam().book;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");

    const WriteResult written = write(path, book);
    ASSERT_TRUE(written.ok) << written.error.toStdString();
    const ReadResult result = read(path);
    ASSERT_TRUE(result.book) << result.error.toStdString();

    const Workbook& back = *result.book;
    ASSERT_EQ(back.sheets.size(), book.sheets.size());
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        SCOPED_TRACE(book.sheets[i].name.toStdString());
        EXPECT_EQ(back.sheets[i].name, book.sheets[i].name);
        EXPECT_TRUE(sameRows(trimmed(book.sheets[i].rows), back.sheets[i].rows));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkbookRoundTrip, ::testing::ValuesIn(roundTrips()),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(WorkbookRoundTrip, EditedListKeepsOtherSheetsAndColumns)
{
    // The memory list only touches two columns of Sheet1; an edit must keep everything else.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    const Workbook original{{{"Notes", {{text("keep me")}}},
                             {"Sheet1",
                              {{text("Band"), text("Frequency"), text("Note")},
                               {text("40m"), 7.05, text("net")},
                               {text("31m"), 9.41, text("BBC")}}}}};
    ASSERT_TRUE(write(path, original).ok);

    ReadResult first = read(path);
    ASSERT_TRUE(first.book);
    Sheet* list = first.book->sheet("Sheet1");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(first.book->sheet("sheet1"), nullptr); // names match exactly
    list->rows[1][2] = text("evening net");
    list->rows.push_back({Empty{}, 14.23, text("SSTV")});
    ASSERT_TRUE(write(path, *first.book).ok);

    const ReadResult second = read(path);
    ASSERT_TRUE(second.book);
    ASSERT_EQ(second.book->sheets.size(), 2u);
    EXPECT_TRUE(sameRows({{text("keep me")}}, second.book->sheets[0].rows));
    EXPECT_TRUE(sameRows({{text("Band"), text("Frequency"), text("Note")},
                          {text("40m"), 7.05, text("evening net")},
                          {text("31m"), 9.41, text("BBC")},
                          {Empty{}, 14.23, text("SSTV")}},
                         second.book->sheets[1].rows));
}

} // namespace
} // namespace rxdeck::workbook
