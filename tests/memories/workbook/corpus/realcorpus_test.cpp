// SPDX-License-Identifier: GPL-3.0-or-later
// Real workbooks collected by other readers' projects (RXDECK_XLS_CORPUS, or the folder the
// build was configured with): every file xlrd opens must open here, and a note edit, an added
// row and a row deleted in the middle of the first sheet must each be refused with a reason
// or change nothing but what they meant to, as xlrd and Apache POI read the results.

#include "memories/workbook/document.h"
#include "memories/workbook/workbook_test_support.h"
#include "support/files.h"

#include <iostream>
#include <map>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

using namespace rxdeck::workbook;
using namespace rxdeck::workbook::testing;

QString corpusDir()
{
    const QByteArray given = qgetenv("RXDECK_XLS_CORPUS");
    return given.isEmpty() ? QStringLiteral(XLS_CORPUS_DIR) : QString::fromLocal8Bit(given);
}

struct Edit
{
    const char* name;
    // The edit made on a copy of the workbook; its description for corpus.py in *json.
    std::optional<QString> (*apply)(Document&, const Sheet&, QJsonObject* json);
};

int noteColumn(const Sheet& sheet)
{
    if (!sheet.rows.empty())
        for (std::size_t c = 0; c < sheet.rows[0].size(); ++c)
            if (const QString* t = std::get_if<QString>(&sheet.rows[0][c]);
                t && t->compare(QLatin1String("Note"), Qt::CaseInsensitive) == 0)
                return static_cast<int>(c);
    return 1;
}

std::optional<QString> setCells(Document& doc, QJsonObject* json,
                                const std::vector<std::tuple<int, int, Cell>>& cells)
{
    QJsonArray set;
    for (const auto& [row, column, value] : cells) {
        if (std::optional<QString> refused = doc.setCell(0, row, column, value))
            return refused;
        const QString* text = std::get_if<QString>(&value);
        set.append(QJsonArray{0, row, column,
                              text ? QJsonValue(*text) : QJsonValue(std::get<double>(value))});
    }
    (*json)[QStringLiteral("set")] = set;
    return std::nullopt;
}

// One row per edit: a note in the middle of the list, a memory after its last row, the
// middle row deleted.
const Edit edits[] = {
    {"note",
     [](Document& doc, const Sheet& sheet, QJsonObject* json) {
         const int row = std::max<int>(1, static_cast<int>(sheet.rows.size()) / 2);
         return setCells(doc, json, {{row, noteColumn(sheet), QStringLiteral("7.05 MHz net")}});
     }},
    {"add",
     [](Document& doc, const Sheet& sheet, QJsonObject* json) {
         const int row = static_cast<int>(sheet.rows.size());
         return setCells(doc, json, {{row, 0, 7.05}, {row, 1, QStringLiteral("added")}});
     }},
    {"delete",
     [](Document& doc, const Sheet& sheet, QJsonObject* json) -> std::optional<QString> {
         if (sheet.rows.size() < 3)
             return QStringLiteral("(fewer than three rows: no delete tried)");
         const int row = static_cast<int>(sheet.rows.size()) / 2;
         if (std::optional<QString> refused = doc.removeRow(0, row))
             return refused;
         (*json)[QStringLiteral("remove")] = QJsonArray{0, row};
         return std::nullopt;
     }},
};

TEST(RealWorkbooks, OpenAndTakeEditsAsOtherReadersSeeThem)
{
    const QDir dir(corpusDir());
    if (!dir.exists())
        GTEST_SKIP() << "no workbook corpus at " << dir.path().toStdString();
    if (!haveXlrd())
        GTEST_SKIP() << "the checks need python3-xlrd";
    QStringList files;
    for (QDirIterator it(dir.path(), {QStringLiteral("*.xls")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next();
    files.sort();
    ASSERT_FALSE(files.isEmpty());

    const QString script = QStringLiteral(CORPUS_DIR "/corpus.py");
    const ProcessResult opened =
        run(QString::fromLatin1(python), QStringList{script, QStringLiteral("opens")} + files);
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    const QJsonObject xlrdOpens = QJsonDocument::fromJson(opened.out).object();

    QTemporaryDir out;
    QJsonArray manifest;
    int xlrdCount = 0;
    int ours = 0;
    int tooOld = 0;
    std::map<std::string, int> done;
    std::map<std::string, std::map<std::string, int>> refusals;
    for (const QString& path : files) {
        if (!xlrdOpens.value(path).toBool())
            continue;
        ++xlrdCount;
        const Document::ParseResult parsed = Document::parse(rxdeck::test::fileContents(path));
        if (!parsed.document && parsed.error.startsWith(QLatin1String("an Excel 4.0 or older"))) {
            ++tooOld; // a format before Excel 5.0, refused with that reason
            continue;
        }
        EXPECT_TRUE(parsed.document) << path.toStdString() << ": " << parsed.error.toStdString();
        if (!parsed.document)
            continue;
        ++ours;
        if (parsed.document->values().sheets.empty())
            continue;
        const Sheet& first = parsed.document->values().sheets.front();
        for (const Edit& edit : edits) {
            Document doc = *parsed.document;
            QJsonObject json;
            if (std::optional<QString> refused = edit.apply(doc, first, &json)) {
                EXPECT_FALSE(refused->isEmpty()) << path.toStdString();
                ++refusals[edit.name][refused->toStdString()];
                continue;
            }
            QString error;
            const std::optional<QByteArray> saved = doc.save(&error);
            EXPECT_TRUE(saved) << path.toStdString() << " " << edit.name << ": "
                               << error.toStdString();
            if (!saved)
                continue;
            const Document::ParseResult again = Document::parse(*saved);
            EXPECT_TRUE(again.document) << path.toStdString() << " " << edit.name;
            const QString after = out.filePath(QStringLiteral("%1-%2.xls")
                                                   .arg(manifest.size())
                                                   .arg(QString::fromLatin1(edit.name)));
            rxdeck::test::putFile(after, *saved);
            json[QStringLiteral("sheet_name")] = first.name;
            manifest.append(QJsonObject{{QStringLiteral("before"), path},
                                        {QStringLiteral("after"), after},
                                        {QStringLiteral("edit"), json}});
            ++done[edit.name];
        }
    }
    EXPECT_EQ(ours + tooOld, xlrdCount);

    std::cout << files.size() << " files, " << xlrdCount << " opened by xlrd, " << ours
              << " by Rxdeck, " << tooOld << " refused as Excel 2.1 to 4.0 worksheets\n";
    for (const Edit& edit : edits) {
        int refused = 0;
        for (const auto& [reason, count] : refusals[edit.name])
            refused += count;
        std::cout << edit.name << ": " << done[edit.name] << " done, " << refused << " refused\n";
        for (const auto& [reason, count] : refusals[edit.name])
            std::cout << "  " << count << " x " << reason << "\n";
    }

    const QString manifestFile = out.filePath(QStringLiteral("manifest.json"));
    rxdeck::test::putFile(manifestFile, QJsonDocument(manifest).toJson());
    const ProcessResult check =
        run(QString::fromLatin1(python), {script, QStringLiteral("check"), manifestFile}, QString(),
            35 * 60 * 1000);
    std::cout << check.out.toStdString();
    if (check.exitCode == 77) // no LibreOffice to say where the removes move references
        GTEST_SKIP();
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
}

} // namespace
