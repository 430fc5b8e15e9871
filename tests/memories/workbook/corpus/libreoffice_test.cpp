// SPDX-License-Identifier: GPL-3.0-or-later
// LibreOffice judges row deletes: it writes a memory list with one structure that refers to
// rows, Document deletes a row of it, LibreOffice deletes the same row of the original
// itself, and both results, saved by LibreOffice as .xlsx, must have the same parts
// (libreoffice.py says what it normalises).

#include "memories/workbook/document.h"
#include "memories/workbook/workbook_test_support.h"
#include "support/files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <utility>

namespace {

using namespace rxdeck::workbook;
using namespace rxdeck::workbook::testing;

constexpr int deleted = 3; // the row of Sheet1 both programs delete: below it, each structure

// One row per structure, as libreoffice.py names them.
constexpr const char* structures[] = {
    "chart",       // a chart on Sheet2 plotting the list's frequencies
    "hyperlink",   // a hyperlinked note below the deleted row
    "validation",  // a list on Sheet2 that takes its values from the frequency column
    "dv_per_row",  // "$A2>3" on the list's notes, relative to each row
    "conditional", // "greater than $A$7" on the list
    "cf_per_row",  // "$A2>$F$3" on the list, relative to each row
    "page_break",  // a manual break below the deleted row
    "comment",     // a note on a cell below, its box below the deleted row too
    "comment_box", // a shown note above whose box runs across the deleted row, kept its size
    "autofilter",  // on the whole list, with its drop-down objects
    "shape",       // a rectangle anchored below the deleted row
    "screentip",   // a hyperlink with a ScreenTip below the deleted row (made by gnumeric)
};

// Runs libreoffice.py; LibreOffice takes its time to start on a busy machine.
ProcessResult office(const QStringList& args)
{
    return run(QString::fromLatin1(python),
               QStringList{QStringLiteral(CORPUS_DIR "/libreoffice.py")} + args, QString(), 600000);
}

// Every structure's workbook made, deleted by Document and compared in one LibreOffice run
// each: the differences by structure, or why there are none to give.
struct Judged
{
    QJsonObject differences;
    QString skipped;
    QString failed;
};

const Judged& judged()
{
    static QTemporaryDir dir;
    static Judged judged;
    static bool done = false;
    if (std::exchange(done, true))
        return judged;
    const ProcessResult made = office({QStringLiteral("make"), dir.path()});
    if (made.ran && made.exitCode == 77) {
        judged.skipped = QString::fromUtf8(made.out).trimmed();
        return judged;
    }
    if (!made.ran || made.exitCode != 0) {
        judged.failed = QStringLiteral("making the workbooks failed: ") + made.err;
        return judged;
    }
    for (const char* name : structures) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        Document::ParseResult parsed =
            Document::parse(rxdeck::test::fileContents(path + QStringLiteral(".xls")));
        QString error = parsed.error;
        if (parsed.document) {
            if (std::optional<QString> refused = parsed.document->removeRow(0, deleted))
                error = QStringLiteral("refused: ") + *refused;
            else if (std::optional<QByteArray> saved = parsed.document->save(&error))
                rxdeck::test::putFile(path + QStringLiteral("-ours.xls"), *saved);
        }
        if (!error.isEmpty())
            judged.differences[QString::fromLatin1(name)] = QJsonArray{error};
    }
    const ProcessResult compared =
        office({QStringLiteral("compare"), dir.path(), QString::number(deleted)});
    if (!compared.ran || compared.exitCode != 0)
        judged.failed = QStringLiteral("the comparison failed: ") + compared.err;
    const QJsonObject found = QJsonDocument::fromJson(compared.out).object();
    for (auto it = found.begin(); it != found.end(); ++it)
        judged.differences[it.key()] = it.value();
    return judged;
}

class LibreOfficeDelete : public ::testing::TestWithParam<const char*>
{
};

TEST_P(LibreOfficeDelete, LeavesWhatLibreOfficesOwnDeleteLeaves)
{
    const Judged& j = judged();
    if (!j.skipped.isEmpty())
        GTEST_SKIP() << j.skipped.toStdString();
    ASSERT_TRUE(j.failed.isEmpty()) << j.failed.toStdString();
    const QJsonValue found = j.differences.value(QString::fromLatin1(GetParam()));
    ASSERT_TRUE(found.isArray()) << "not compared";
    EXPECT_TRUE(found.toArray().isEmpty()) << QJsonDocument(found.toArray()).toJson().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Structures, LibreOfficeDelete, ::testing::ValuesIn(structures),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
