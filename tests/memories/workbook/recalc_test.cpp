// SPDX-License-Identifier: GPL-3.0-or-later
// Formula results after reading and editing, checked against gnumeric recalculating the same
// files: xlwt compiles the formulas (an encoder that is not ours), ssconvert --recalc computes
// what they should show, xlrd reads the results we cached.

#include "memories/workbook/document.h"
#include "workbook_test_support.h"

#include <cmath>
#include <QFile>
#include <QTemporaryDir>

namespace rxdeck::workbook {
namespace {

using testing::run;

// One formula in column B of Sheet1 (row 2 on), over A1:A5 = 7.05, 14.2, "abc", -2.5, empty and
// Other!B1 = 3.5. exact: evaluated here; otherwise left for the spreadsheet program.
struct Case
{
    const char* formula;
    bool exact;
};
const Case cases[] = {
    {"A1+0.005", true},
    {"A1-7.05", true},
    {"A2*2/4-A1", true},
    {"A1^2", true},
    {"-A1%", true},
    {"A2/0", true},
    {"A1&\" MHz\"", true},
    {"A3&A5&A4", true},
    {"A1<A2", true},
    {"A3=\"ABC\"", true},
    {"A4", true},
    {"A5", true},
    {"A3+1", true},
    {"SUM(A1:A5)", true},
    {"SUM(A1,A2,1)", true},
    {"SUM(12.225,1.0E+308,-1.0E+308)", true},
    {"ROUND(A1*3.3,2)", true},
    {"ROUND(2.675,2)", true},
    {"ROUND(-1234.5,-2)", true},
    {"INT(-A1)", true},
    {"MIN(A1:A5)", true},
    {"MAX(A1:A5)", true},
    {"IF(A1>10,\"high\",\"low\")", true},
    {"IF(A4,A1,2)", true},
    {"IF(A5,1,\"no\")", true},
    {"ABS(-A2)", true},
    {"MOD(-7,3)", true},
    {"MOD(A2,0.25)", true},
    {"MOD(A2,0)", true},
    {"Other!B1*2", true},
    {"SUM(Other!B1:B3)+A1", true},
    {"AVERAGE(A1:A2)", true},
    {"ROUNDUP(A1,0)", true},
    {"ROUNDDOWN(-A1,1)", true},
    {"ROUND(1.5E308,2)/1.0E+308+ROUND(12345678901.234499,3)", true},
    {"0.1+0.2=0.3", true},
    {"LN(A1)", false},
    {"COUNT(A1:A5)", false},
};

// Sheet1 as xlwt writes it: formulas without results.
constexpr const char* makeWorkbook = R"(
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet('Sheet1')
other = book.add_sheet('Other')
for r, v in enumerate([7.05, 14.2, 'abc', -2.5]):
    sheet.write(r, 0, v)
other.write(0, 1, 3.5)
for r, f in enumerate(sys.argv[2:]):
    sheet.write(r + 1, 1, xlwt.Formula(f))
book.save(sys.argv[1])
)";

// A field of ssconvert's CSV output as a cell: numbers with all their digits, so that they
// read back as the very double gnumeric computed.
Cell csvCell(const QString& field)
{
    bool isNumber = false;
    const double v = field.toDouble(&isNumber);
    if (isNumber)
        return v;
    if (field.isEmpty())
        return Empty{};
    return field;
}

std::vector<std::vector<Cell>> csvRows(const QString& path)
{
    QFile csv(path);
    EXPECT_TRUE(csv.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<std::vector<Cell>> rows;
    for (const QByteArray& line : csv.readAll().split('\n')) {
        std::vector<Cell> row;
        for (QString field : QString::fromUtf8(line).split(QLatin1Char(','))) {
            if (field.startsWith('"') && field.endsWith('"') && field.size() >= 2)
                field = field.mid(1, field.size() - 2);
            row.push_back(csvCell(field));
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::vector<Cell>> recalculatedByGnumeric(const QString& dir, const QString& file)
{
    const auto done = run(testing::ssconvertPath(), {"--recalc", "-S", file, "sheet%n.csv"}, dir);
    EXPECT_TRUE(done.ran && done.exitCode == 0) << done.err.toStdString();
    return csvRows(dir + "/sheet0.csv");
}

QString sofficePath()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

// The first sheet as LibreOffice computes it on opening the file, numbers in full.
std::vector<std::vector<Cell>> openedByLibreOffice(const QString& dir, const QString& file)
{
    const QString filter =
        QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false");
    const auto done =
        run(sofficePath(), {"--headless", "-env:UserInstallation=file://" + dir + "/lo",
                            "--convert-to", filter, "--outdir", dir + "/lo-out", dir + "/" + file});
    EXPECT_TRUE(done.ran && done.exitCode == 0) << done.err.toStdString();
    return csvRows(dir + "/lo-out/" + QString(file).replace(".xls", ".csv"));
}

// gnumeric computes in long double and prints 20 digits; spreadsheets show 15 significant
// digits, and two results that agree in them are the same to the user.
::testing::AssertionResult sameResult(const Cell& ours, const Cell& theirs)
{
    const double* a = std::get_if<double>(&ours);
    const double* b = std::get_if<double>(&theirs);
    if (a != nullptr && b != nullptr &&
        std::fabs(*a - *b) <= 1e-14 * std::max(std::fabs(*a), std::fabs(*b)))
        return ::testing::AssertionSuccess();
    if (ours == theirs)
        return ::testing::AssertionSuccess();
    // LibreOffice has no boolean type: TRUE is 1 shown as TRUE.
    if (b != nullptr &&
        (ours == Cell{QStringLiteral("TRUE")} || ours == Cell{QStringLiteral("FALSE")}) &&
        *b == (ours == Cell{QStringLiteral("TRUE")} ? 1.0 : 0.0))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << QString(QStringLiteral("ours %1, theirs %2"))
                  .arg(QString::fromStdString(::testing::PrintToString(ours)),
                       QString::fromStdString(::testing::PrintToString(theirs)))
                  .toStdString();
}

bool toolsPresent()
{
    const auto xlwt = run(QString::fromLatin1(testing::python), {"-c", "import xlwt"});
    return !testing::ssconvertPath().isEmpty() && xlwt.ran && xlwt.exitCode == 0;
}

Cell at(const std::vector<std::vector<Cell>>& rows, std::size_t r, std::size_t c)
{
    if (r >= rows.size() || c >= rows[r].size())
        return Empty{};
    return rows[r][c];
}

// Formulas stored without results are evaluated on reading, to what LibreOffice computes
// (which, unlike gnumeric, rounds and compares as Excel does: ROUND(2.675,2) is 2.68).
TEST(FormulaResults, UncachedFormulasAreEvaluatedAsLibreOfficeDoes)
{
    if (!toolsPresent() || sofficePath().isEmpty())
        GTEST_SKIP() << "needs LibreOffice and python3-xlwt";
    QTemporaryDir dir;
    QStringList args{QString::fromLatin1(makeWorkbook), dir.filePath("f.xls")};
    for (const Case& c : cases)
        args << QString::fromLatin1(c.formula);
    const auto made = run(QString::fromLatin1(testing::python), QStringList{"-c"} + args);
    ASSERT_TRUE(made.ran && made.exitCode == 0) << made.err.toStdString();
    QFile file(dir.filePath("f.xls"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const Document::ParseResult parsed = Document::parse(file.readAll());
    ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
    const auto expected = openedByLibreOffice(dir.path(), "f.xls");
    const auto& ours = parsed.document->values().sheets[0].rows;

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].formula);
        const Cell got = at(ours, i + 1, 1);
        if (!cases[i].exact) {
            EXPECT_EQ(got, Cell{}); // left as xlwt wrote it, for the spreadsheet to compute
            continue;
        }
        EXPECT_TRUE(sameResult(got, at(expected, i + 1, 1)));
    }
}

// A channel plan filled down the Frequency column (each row the one above + 0.005), running
// sums, a total and a function not evaluated here: after frequencies are typed and the last
// row deleted, every result that can be computed is the one gnumeric computes, in the file as
// readers see it; the others are reported as not current, and LibreOffice recalculates them.
TEST(FormulaResults, EditAndDeleteLeaveResultsAsGnumericComputesThem)
{
    if (!toolsPresent() || !testing::haveXlrd())
        GTEST_SKIP() << "needs ssconvert (gnumeric), python3-xlwt and python3-xlrd";
    QTemporaryDir dir;
    const char* plan = R"(
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet('Sheet1')
for c, name in enumerate(['Frequency', 'Note', 'Sum', 'Total', 'Log']):
    sheet.write(0, c, name)
sheet.write(1, 0, 7.0)
sheet.write(1, 3, xlwt.Formula('SUM(A2:A31)'))
for r in range(1, 31):
    if r > 1:
        sheet.write(r, 0, xlwt.Formula('A%d+0.005' % r))
    sheet.write(r, 1, 'channel %d' % r)
    sheet.write(r, 2, xlwt.Formula('SUM($A$2:A%d)' % (r + 1)))
    sheet.write(r, 4, xlwt.Formula('LN(A%d)' % (r + 1)))
book.save(sys.argv[1])
)";
    const auto made = run(QString::fromLatin1(testing::python),
                          {"-c", QString::fromLatin1(plan), dir.filePath("xlwt.xls")});
    ASSERT_TRUE(made.ran && made.exitCode == 0) << made.err.toStdString();
    // gnumeric computes the results and writes them into the file it saves.
    const auto saved =
        run(testing::ssconvertPath(), {"--recalc", "xlwt.xls", "plan.xls"}, dir.path());
    ASSERT_TRUE(saved.ran && saved.exitCode == 0) << saved.err.toStdString();
    QFile in(dir.filePath("plan.xls"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    Document::ParseResult parsed = Document::parse(in.readAll());
    ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
    Document& document = *parsed.document;

    ASSERT_EQ(document.setCell(0, 5, 0, 10.0), std::nullopt); // over a formula of the plan
    EXPECT_FALSE(document.isCurrent(0, 5, 4));                // LN() of the edited cell
    EXPECT_TRUE(document.isCurrent(0, 4, 4));                 // LN() of a cell above it
    ASSERT_EQ(document.setCell(0, 1, 0, 14.2), std::nullopt);
    ASSERT_EQ(document.removeRow(0, 30), std::nullopt);
    for (int r = 1; r < 30; ++r)
        EXPECT_FALSE(document.isCurrent(0, r, 4)) << r;
    const std::optional<QByteArray> bytes = document.save();
    ASSERT_TRUE(bytes);
    QFile out(dir.filePath("edited.xls"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(*bytes);
    out.close();

    const auto dumped = run(QString::fromLatin1(testing::python),
                            {"-c", QString::fromLatin1(testing::xlrdDump), out.fileName()});
    ASSERT_TRUE(dumped.ran && dumped.exitCode == 0) << dumped.err.toStdString();
    const auto cached =
        testing::fromJson(QJsonDocument::fromJson(dumped.out).array()[0].toArray()[1].toArray());
    const auto expected = recalculatedByGnumeric(dir.path(), "edited.xls");
    const auto& shown = document.values().sheets[0].rows;
    ASSERT_EQ(cached.size(), 30u);
    for (std::size_t r = 1; r < cached.size(); ++r) {
        SCOPED_TRACE(r);
        for (std::size_t c : {0, 2, 3}) {
            EXPECT_TRUE(sameResult(at(cached, r, c), at(expected, r, c))) << "in the file, " << c;
            EXPECT_TRUE(sameResult(at(shown, r, c), at(expected, r, c))) << "in values(), " << c;
        }
    }

    // The file asks spreadsheet programs to recalculate what was not computed here.
    if (sofficePath().isEmpty())
        return;
    const auto opened = openedByLibreOffice(dir.path(), "edited.xls");
    for (std::size_t r : {1, 6, 29}) {
        SCOPED_TRACE(r);
        EXPECT_TRUE(sameResult(at(opened, r, 4), at(expected, r, 4)));
        EXPECT_FALSE(sameResult(at(cached, r, 4), at(expected, r, 4))) << "an old result";
    }
}

} // namespace
} // namespace rxdeck::workbook
