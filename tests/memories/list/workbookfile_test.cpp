// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorylistmodel.h"
#include "memories/list/workbookpath.h"

#include "support/files.h"
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace rxdeck::memories {
namespace {

using Row = std::vector<workbook::Cell>;

const auto& contents = rxdeck::test::fileContents;
const auto& writeBytes = rxdeck::test::putFile;

class WorkbookFile : public ::testing::Test
{
protected:
    QString path(const QString& name = QStringLiteral("Memories.xls")) const
    {
        return dir_.filePath(name);
    }
    std::unique_ptr<MemoryListModel> open(const QString& file) const
    {
        return std::make_unique<MemoryListModel>(std::make_unique<FileWorkbookStore>(file));
    }
    void writeMemories()
    {
        const std::vector<Row> rows{{QStringLiteral("Frequency"), QStringLiteral("Note")},
                                    {7.05, QStringLiteral("a")},
                                    {14.2, QStringLiteral("b")}};
        ASSERT_TRUE(workbook::write(path(), {{{QStringLiteral("Sheet1"), rows}}}).ok);
    }
    static bool editNote(MemoryListModel& model, int row, const QString& note)
    {
        return model.setData(model.index(row, MemoryListModel::NoteColumn), note) &&
               model.commitRow(row).ok;
    }

    QTemporaryDir dir_;
};

TEST_F(WorkbookFile, TheFirstCommittedRowCreatesTheWorkbookAndItsFolder)
{
    const QString file = path(QStringLiteral("data/Rxdeck/Memories.xls"));
    auto model = open(file);
    ASSERT_TRUE(model->setData(model->index(0, MemoryListModel::FreqColumn), "7.05"));
    EXPECT_FALSE(QFileInfo::exists(file)); // not before the row is left
    ASSERT_TRUE(model->commitRow(0).ok);
    EXPECT_FALSE(QFileInfo::exists(file + ".bak")); // the program made this one

    auto reopened = open(file);
    EXPECT_EQ(reopened->displayText(0, MemoryListModel::FreqColumn), "7.05");
    EXPECT_EQ(reopened->rowCount(), 2);
}

TEST_F(WorkbookFile, AFileThatIsNoUsableWorkbookIsNeverWritten)
{
    const std::optional<QByteArray> noSheet1 =
        workbook::encode({{{QStringLiteral("Stations"), {{QStringLiteral("Frequency")}}}}});
    ASSERT_TRUE(noSheet1);
    for (const QByteArray& bytes : {QByteArray("Frequency,Note\n7.05,40 m\n"), QByteArray(),
                                    *noSheet1, noSheet1->left(noSheet1->size() / 2)}) {
        writeBytes(path(), bytes);
        auto model = open(path());
        EXPECT_EQ(model->rowCount(), 0);
        EXPECT_FALSE(model->problem().isEmpty());
        EXPECT_FALSE(model->setData(model->index(0, 0), "7"));
        EXPECT_FALSE(model->removeMemories(0).ok);
        model.reset();
        EXPECT_EQ(contents(path()), bytes);
        EXPECT_FALSE(QFileInfo::exists(path() + ".bak"));
    }
}

TEST_F(WorkbookFile, TheBackupOfAForeignWorkbookOutlivesLaterRuns)
{
    writeMemories();
    const QByteArray original = contents(path());
    auto model = open(path());
    ASSERT_TRUE(editNote(*model, 0, "a2"));
    EXPECT_EQ(contents(path() + ".bak"), original);
    ASSERT_TRUE(model->removeMemories(1).ok);
    EXPECT_NE(contents(path()), original);
    model.reset();

    auto nextRun = open(path());
    ASSERT_TRUE(editNote(*nextRun, 0, "a3"));
    EXPECT_EQ(contents(path() + ".bak"), original); // never this program's own output
}

TEST_F(WorkbookFile, AWorkbookIsNotReplacedWhenItsBackupCannotBeMade)
{
    writeMemories();
    const QByteArray original = contents(path());
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Memories.xls.bak")));
    auto model = open(path());
    QSignalSpy failed(model.get(), &MemoryListModel::saveFailed);
    EXPECT_FALSE(editNote(*model, 0, "a2"));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("backup"));
    EXPECT_EQ(contents(path()), original);
}

TEST_F(WorkbookFile, ALegacyWorkbookIsCopiedOnlyWhenTheUsersOneIsMissing)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("ProgramFiles")));
    const QString legacy = path(QStringLiteral("ProgramFiles/Memories.xls"));
    writeBytes(legacy, "legacy");
    ASSERT_TRUE(QFile::setPermissions(legacy, QFileDevice::ReadOwner));
    const QString users = path(QStringLiteral("AppData/Rxdeck/Memories.xls"));

    EXPECT_TRUE(adoptLegacyWorkbook(users, legacy));
    EXPECT_EQ(contents(users), "legacy");
    EXPECT_TRUE(QFile::permissions(users) & QFileDevice::WriteOwner);
    writeBytes(users, "user's own");
    EXPECT_FALSE(adoptLegacyWorkbook(users, legacy));
    EXPECT_EQ(contents(users), "user's own");
    EXPECT_EQ(contents(legacy), "legacy");
}

} // namespace
} // namespace rxdeck::memories
