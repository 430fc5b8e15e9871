// SPDX-License-Identifier: GPL-3.0-or-later
// Interchange with independent programs: workbooks written by gnumeric's ssconvert are read
// correctly, and workbooks we write are read correctly by xlrd and by ssconvert.

#include "memories/workbook/workbook.h"
#include "support/csvworkbook.h"
#include "workbook_test_support.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace rxdeck::workbook {
namespace {

using testing::ProcessResult;
using testing::Rows;
using testing::run;
using testing::sameRows;
using testing::text;
using testing::trimmed;

// --- Files written by ssconvert ---------------------------------------------------------------

struct ForeignFile
{
    const char* name;
    const char* exportType; // ssconvert exporter
    QByteArray csv;         // UTF-8
    Rows expected;
};

std::vector<ForeignFile> foreignFiles()
{
    // Integers become RK cells, decimals NUMBER or RK cells; BIFF5 stores text in the Windows
    // code page (cp1252 here), so its non-ASCII text stays within that code page.
    const QByteArray csv8 = "Frequency,Note,Extra\n"
                            "7,Ωmega Radio – Wien,1\n"
                            "7.05,日本,\n"
                            "-3.5,\"comma, and \"\"quotes\"\"\",123456789\n"
                            ",no frequency,0.125\n"
                            "14.2305\n";
    const Rows rows8{{text("Frequency"), text("Note"), text("Extra")},
                     {7.0, text("Ωmega Radio – Wien"), 1.0},
                     {7.05, text("日本")},
                     {-3.5, text("comma, and \"quotes\""), 123456789.0},
                     {Empty{}, text("no frequency"), 0.125},
                     {14.2305}};
    const QByteArray csv5 = "Frequency,Note\n"
                            "7,Überreichweite – Wien\n"
                            "7.05,café\n"
                            "-3.5,plain\n"
                            "100000,€ sign\n";
    const Rows rows5{{text("Frequency"), text("Note")},
                     {7.0, text("Überreichweite – Wien")},
                     {7.05, text("café")},
                     {-3.5, text("plain")},
                     {100000.0, text("€ sign")}};
    return {
        {"BIFF8", "Gnumeric_Excel:excel_biff8", csv8, rows8},
        {"BIFF5", "Gnumeric_Excel:excel_biff7", csv5, rows5},
    };
}

void PrintTo(const ForeignFile& file, std::ostream* os)
{
    *os << file.name;
}

class SsconvertFile : public ::testing::TestWithParam<ForeignFile>
{
};

TEST_P(SsconvertFile, IsReadWithValuesAndSheetName)
{
    const QString ssconvert = testing::ssconvertPath();
    if (ssconvert.isEmpty())
        GTEST_SKIP() << "ssconvert (package gnumeric) is not installed; cannot make foreign files";
    const ForeignFile& file = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto converted =
        rxdeck::test::workbookFromCsv(dir.filePath("Memories.xls"), file.csv, file.exportType);
    ASSERT_TRUE(converted.ok()) << converted.errors;

    const ReadResult result = read(dir.filePath("Memories.xls"));
    ASSERT_TRUE(result.book) << result.error.toStdString();
    ASSERT_EQ(result.book->sheets.size(), 1u);
    EXPECT_EQ(result.book->sheets[0].name, QStringLiteral("Sheet1"));
    EXPECT_TRUE(sameRows(file.expected, result.book->sheets[0].rows));
}

INSTANTIATE_TEST_SUITE_P(Formats, SsconvertFile, ::testing::ValuesIn(foreignFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Files we write, read by others ----------------------------------------------------------

Workbook sampleBook()
{
    Rows list{{text("Frequency"), text("Note"), text("Extra")},
              {7.05, text("Ωmega Radio – Wien")},
              {9.41, text("日本"), 3.0},
              {Empty{}, text("comma, \"quoted\"")},
              {-0.5, Empty{}, text("café")},
              {1e-7, text("📻")},
              {123456789.25, QString(9000, QChar(u'x'))},
              {0.005, QString(5000, QChar(0x65E5))}};
    for (int i = 0; i < 300; ++i)
        list.push_back({3.0 + i / 1000.0, QStringLiteral("memory %1 Ω").arg(i)});
    return Workbook{
        {{"Sheet1", list}, {"Empty", {}}, {"Zweite Ω", {{Empty{}, text("b1")}, {2.5}}}}};
}

TEST(IndependentReader, XlrdReadsWhatWeWrite)
{
    if (!testing::haveXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed; cannot check our files with xlrd";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Workbook book = sampleBook();
    const QString path = dir.filePath("Memories.xls");
    ASSERT_TRUE(write(path, book).ok);

    const auto sheets = testing::xlrdSheets(path);
    ASSERT_TRUE(sheets);
    ASSERT_EQ(sheets->size(), book.sheets.size());
    for (std::size_t i = 0; i < sheets->size(); ++i) {
        const Sheet& sheet = book.sheets[i];
        SCOPED_TRACE(sheet.name.toStdString());
        EXPECT_EQ((*sheets)[i].first, sheet.name);
        EXPECT_TRUE(sameRows(trimmed(sheet.rows), (*sheets)[i].second));
    }
}

// Splits one line of ssconvert's CSV output: fields separated by commas, quoted when they hold
// a comma, quote or line break, quotes doubled.
std::vector<QString> csvFields(const QString& content, qsizetype& pos)
{
    std::vector<QString> fields(1);
    bool quoted = false;
    for (; pos < content.size(); ++pos) {
        const QChar c = content[pos];
        if (quoted) {
            if (c == u'"' && pos + 1 < content.size() && content[pos + 1] == u'"')
                fields.back() += content[++pos];
            else if (c == u'"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields.emplace_back();
        } else if (c == u'\n') {
            ++pos;
            break;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

Rows fromCsv(const QString& content)
{
    Rows rows;
    qsizetype pos = 0;
    while (pos < content.size()) {
        std::vector<Cell> row;
        for (const QString& field : csvFields(content, pos)) {
            bool isNumber = false;
            const double value = field.toDouble(&isNumber);
            if (field.isEmpty())
                row.push_back(Empty{});
            else if (isNumber)
                row.push_back(value);
            else
                row.push_back(field);
        }
        rows.push_back(row);
    }
    return trimmed(rows);
}

TEST(IndependentReader, SsconvertReadsWhatWeWrite)
{
    const QString ssconvert = testing::ssconvertPath();
    if (ssconvert.isEmpty())
        GTEST_SKIP() << "ssconvert (package gnumeric) is not installed; cannot check our files";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Workbook book = sampleBook();
    ASSERT_TRUE(write(dir.filePath("Memories.xls"), book).ok);

    // One CSV per sheet, numbered from 0.
    const ProcessResult converted =
        run(ssconvert, {"-S", "Memories.xls", "sheet%n.csv"}, dir.path());
    ASSERT_TRUE(converted.ran && converted.exitCode == 0) << converted.err.toStdString();
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        SCOPED_TRACE(book.sheets[i].name.toStdString());
        QFile csv(dir.filePath(QStringLiteral("sheet%1.csv").arg(i)));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        EXPECT_TRUE(
            sameRows(trimmed(book.sheets[i].rows), fromCsv(QString::fromUtf8(csv.readAll()))));
    }
}

} // namespace
} // namespace rxdeck::workbook
