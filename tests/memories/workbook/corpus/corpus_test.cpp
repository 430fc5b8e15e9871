// SPDX-License-Identifier: GPL-3.0-or-later
// Workbooks made at test time by other programs (gnumeric's ssconvert, xlwt, LibreOffice), with
// formats, widths, formulas, a cross-sheet reference, a date, a boolean and a second sheet.
// Document reads each, makes one edit and saves; xlrd and ssconvert then read both files and
// corpus.py lists every difference the edit does not explain.

#include "memories/workbook/document.h"
#include "memories/workbook/workbook_test_support.h"

#include <algorithm>
#include <map>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <string_view>

namespace {

using namespace rxdeck::workbook;
using namespace rxdeck::workbook::testing;

struct Generator
{
    const char* kind; // corpus.py's name for it
    Document::Format format;
};

constexpr Generator generators[] = {
    {"gnumeric-biff5", Document::Format::Biff5},
    {"gnumeric-biff8", Document::Format::Biff8},
    {"xlwt", Document::Format::Biff8},
    {"soffice", Document::Format::Biff8},
};

void PrintTo(const Generator& g, std::ostream* os)
{
    *os << g.kind;
}

QString script()
{
    return QStringLiteral(CORPUS_DIR "/corpus.py");
}

ProcessResult corpus(const QStringList& args)
{
    return run(QString::fromLatin1(python), QStringList{script()} + args);
}

// Each generator's workbook is made once per run; `skipped` says why it could not be.
struct Made
{
    QString path;
    QString skipped;
};

const Made& made(const Generator& g)
{
    static QTemporaryDir dir;
    static std::map<std::string, Made> cache;
    auto [it, inserted] = cache.try_emplace(g.kind);
    if (!inserted)
        return it->second;
    if (!haveXlrd() || ssconvertPath().isEmpty()) {
        it->second.skipped = QStringLiteral("the checks need python3-xlrd and ssconvert");
        return it->second;
    }
    const QString path = dir.filePath(QString::fromLatin1(g.kind) + QStringLiteral(".xls"));
    const ProcessResult r = corpus({"make", QString::fromLatin1(g.kind), path});
    if (r.ran && r.exitCode == 0)
        it->second.path = path;
    else if (r.ran && r.exitCode == 77)
        it->second.skipped = QString::fromUtf8(r.out).trimmed();
    else
        ADD_FAILURE() << g.kind << " failed: " << r.err.toStdString();
    return it->second;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::string describe(const Generator& g)
{
    std::string name = g.kind;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// Each sheet's cells as xlrd reads them, in the form Document::values() gives.
std::vector<Sheet> xlrdValues(const QJsonObject& dump)
{
    std::vector<Sheet> sheets;
    for (const QJsonValue& s : dump[QStringLiteral("sheets")].toArray()) {
        Sheet sheet{s[QStringLiteral("name")].toString(), {}};
        for (const QJsonValue& c : s[QStringLiteral("cells")].toArray()) {
            const auto row = std::size_t(c[QStringLiteral("row")].toInt());
            const auto col = std::size_t(c[QStringLiteral("col")].toInt());
            const QString type = c[QStringLiteral("type")].toString();
            const QJsonValue value = c[QStringLiteral("value")];
            Cell cell = Empty{};
            if (type == QLatin1String("number"))
                cell = value.toDouble();
            else if (type == QLatin1String("bool"))
                cell = value.toInt() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            else if (type != QLatin1String("blank"))
                cell = value.toString();
            if (sheet.rows.size() <= row)
                sheet.rows.resize(row + 1);
            if (sheet.rows[row].size() <= col)
                sheet.rows[row].resize(col + 1);
            sheet.rows[row][col] = cell;
        }
        sheet.rows = trimmed(sheet.rows);
        sheets.push_back(sheet);
    }
    return sheets;
}

::testing::AssertionResult sameSheets(const std::vector<Sheet>& expected,
                                      const std::vector<Sheet>& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure()
               << "expected " << expected.size() << " sheets, got " << actual.size();
    for (std::size_t s = 0; s < expected.size(); ++s) {
        if (expected[s].name != actual[s].name)
            return ::testing::AssertionFailure()
                   << "sheet " << s << " is named " << actual[s].name.toStdString();
        if (auto same = sameRows(expected[s].rows, actual[s].rows); !same)
            return same << " in sheet " << expected[s].name.toStdString();
    }
    return ::testing::AssertionSuccess();
}

class CorpusRead : public ::testing::TestWithParam<Generator>
{
};

TEST_P(CorpusRead, ShowsWhatXlrdReads)
{
    const Made& book = made(GetParam());
    if (book.path.isEmpty())
        GTEST_SKIP() << book.skipped.toStdString();
    const Document::ParseResult parsed = Document::parse(contents(book.path));
    ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
    EXPECT_EQ(parsed.document->format(), GetParam().format);

    const ProcessResult dump = corpus({"dump", book.path});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    EXPECT_TRUE(sameSheets(xlrdValues(QJsonDocument::fromJson(dump.out).object()),
                           parsed.document->values().sheets));
}

INSTANTIATE_TEST_SUITE_P(Generators, CorpusRead, ::testing::ValuesIn(generators),
                         [](const auto& info) { return describe(info.param); });

enum class Edit
{
    Note,        // a new text in an existing row's Note
    AddRow,      // Frequency and Note in the first empty row below the list
    OverFormula, // a text typed over Sheet2's formula with a text result
    RemoveRow,   // a row in the middle; rows below, and references to them, move up
};

std::string describe(Edit edit)
{
    constexpr const char* names[] = {"Note", "AddRow", "OverFormula", "RemoveRow"};
    return names[int(edit)];
}

struct SetCell
{
    int sheet;
    int row;
    int column;
    Cell value;
};

// The cells an edit sets. Row 3 (0-based) of Sheet1 holds a non-ASCII note, row 6 is the first
// empty one; BIFF5 texts keep to code page 1252.
std::vector<SetCell> cellsOf(Edit edit, bool biff5)
{
    const auto text = [](const char* utf8) { return Cell(QString::fromUtf8(utf8)); };
    switch (edit) {
    case Edit::Note:
        return {{0, 3, 1, text(biff5 ? "Grüße café €" : "Grüße Ω €")}};
    case Edit::AddRow:
        return {{0, 6, 1, text(biff5 ? "Köln" : "Київ")}, {0, 6, 0, 28.25}};
    case Edit::OverFormula:
        return {{1, 1, 2, text("typed")}};
    case Edit::RemoveRow:
        break;
    }
    return {};
}

void PrintTo(Edit edit, std::ostream* os)
{
    *os << describe(edit);
}

class CorpusEdit : public ::testing::TestWithParam<std::tuple<Generator, Edit>>
{
};

TEST_P(CorpusEdit, ChangesOnlyWhatWasEdited)
{
    const auto [generator, edit] = GetParam();
    const Made& book = made(generator);
    if (book.path.isEmpty())
        GTEST_SKIP() << book.skipped.toStdString();
    const bool biff5 = generator.format == Document::Format::Biff5;
    Document::ParseResult parsed = Document::parse(contents(book.path));
    ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
    Document& doc = *parsed.document;
    const Workbook before = doc.values();

    QJsonObject change;
    std::optional<QString> refused;
    if (edit == Edit::RemoveRow) {
        refused = doc.removeRow(0, 2);
        change[QStringLiteral("remove")] = QJsonArray{0, 2};
    } else {
        ASSERT_EQ(before.sheets.at(0).rows.size(), 6u);
        QJsonArray cells;
        for (const SetCell& set : cellsOf(edit, biff5)) {
            if (!refused)
                refused = doc.setCell(set.sheet, set.row, set.column, set.value);
            const QString* text = std::get_if<QString>(&set.value);
            cells.append(
                QJsonArray{set.sheet, set.row, set.column,
                           text ? QJsonValue(*text) : QJsonValue(std::get<double>(set.value))});
        }
        change[QStringLiteral("set")] = cells;
    }

    // Every generator's workbook takes all four edits.
    ASSERT_FALSE(refused) << "refused: " << refused->toStdString();

    QString error;
    const std::optional<QByteArray> saved = doc.save(&error);
    ASSERT_TRUE(saved) << error.toStdString();
    const Document::ParseResult again = Document::parse(*saved);
    ASSERT_TRUE(again.document) << again.error.toStdString();
    EXPECT_TRUE(sameSheets(doc.values().sheets, again.document->values().sheets));

    QTemporaryDir dir;
    const QString after = dir.filePath(QStringLiteral("after.xls"));
    const QString changeFile = dir.filePath(QStringLiteral("edit.json"));
    ASSERT_TRUE(save(after, *saved) && save(changeFile, QJsonDocument(change).toJson()));
    const ProcessResult diff = corpus({"diff", book.path, after, changeFile});
    ASSERT_TRUE(diff.ran);
    if (diff.exitCode == 77) // no LibreOffice to say where the remove moves references
        GTEST_SKIP() << diff.out.toStdString();
    EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString() << diff.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Generators, CorpusEdit,
                         ::testing::Combine(::testing::ValuesIn(generators),
                                            ::testing::Values(Edit::Note, Edit::AddRow,
                                                              Edit::OverFormula, Edit::RemoveRow)),
                         [](const auto& info) {
                             return describe(std::get<0>(info.param)) + "_" +
                                    describe(std::get<1>(info.param));
                         });

} // namespace
