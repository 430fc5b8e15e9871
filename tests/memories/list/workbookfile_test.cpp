#include "memories/list/memorylistmodel.h"
#include "memories/list/workbookpath.h"
#include "memories/list/workbookstore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace rxdeck::memories {
namespace {

using workbook::Cell;
using workbook::Empty;
using Row = std::vector<Cell>;

QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

workbook::Workbook memories(std::vector<Row> rows)
{
    rows.insert(rows.begin(), Row{QStringLiteral("Frequency"), QStringLiteral("Note")});
    return workbook::Workbook{{workbook::Sheet{QStringLiteral("Sheet1"), std::move(rows)}}};
}

std::unique_ptr<MemoryListModel> openModel(const QString& path)
{
    return std::make_unique<MemoryListModel>(std::make_unique<FileWorkbookStore>(path));
}

class WorkbookFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& name = QStringLiteral("Memories.xls")) const
    {
        return m_dir.filePath(name);
    }
    void writeWorkbook(const workbook::Workbook& book)
    {
        ASSERT_TRUE(workbook::write(path(), book).ok);
    }

    QTemporaryDir m_dir;
};

TEST_F(WorkbookFile, TheFirstCommittedRowCreatesTheWorkbookAndItsFolder)
{
    const QString nested = path(QStringLiteral("data/Rxdeck/Memories.xls"));
    auto model = openModel(nested);
    ASSERT_EQ(model->rowCount(), 1);
    ASSERT_TRUE(model->setData(model->index(0, MemoryListModel::FreqColumn), "7.05"));
    ASSERT_TRUE(model->setData(model->index(0, MemoryListModel::NoteColumn), "40 m"));
    EXPECT_FALSE(QFileInfo::exists(nested)); // not before the row is left

    ASSERT_TRUE(model->commitRow(0).ok);
    const workbook::ReadResult read = workbook::read(nested);
    ASSERT_TRUE(read.book) << read.error.toStdString();
    const workbook::Sheet* sheet = read.book->sheet(QStringLiteral("Sheet1"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->rows, (std::vector<Row>{{QStringLiteral("Frequency"), QStringLiteral("Note")},
                                             {7.05, QStringLiteral("40 m")}}));
    EXPECT_FALSE(QFileInfo::exists(nested + ".bak")); // the program made this one

    // Reopened, the number is still a number.
    auto again = openModel(nested);
    EXPECT_EQ(again->displayText(0, MemoryListModel::FreqColumn), "7.05");
    EXPECT_EQ(again->rowCount(), 2);
}

TEST_F(WorkbookFile, AFileThatIsNoUsableWorkbookIsNeverWritten)
{
    struct Case
    {
        const char* what;
        QByteArray bytes;
        const char* problemStart;
    };
    QByteArray noSheet1;
    {
        const std::optional<QByteArray> encoded = workbook::encode(workbook::Workbook{
            {workbook::Sheet{QStringLiteral("Stations"), {{QStringLiteral("Frequency")}}}}});
        ASSERT_TRUE(encoded);
        noSheet1 = *encoded;
    }
    const std::vector<Case> cases{
        {"text file", "Frequency,Note\n7.05,40 m\n", "Memories.xls could not be read"},
        {"empty file", "", "Memories.xls could not be read"},
        {"cut short", noSheet1.left(noSheet1.size() / 2), "Memories.xls could not be read"},
        {"no Sheet1", noSheet1, "Memories.xls has no Sheet1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path(), c.bytes);
        auto model = openModel(path());
        EXPECT_EQ(model->rowCount(), 0);
        EXPECT_TRUE(model->problem().startsWith(QString::fromUtf8(c.problemStart)))
            << model->problem().toStdString();
        EXPECT_FALSE(model->setData(model->index(0, 0), "7"));
        EXPECT_FALSE(model->removeMemories(0).ok);
        EXPECT_TRUE(model->commitPending().ok);
        model.reset();
        EXPECT_EQ(contents(path()), c.bytes);
        EXPECT_FALSE(QFileInfo::exists(path() + ".bak"));
    }
}

TEST_F(WorkbookFile, AForeignWorkbookIsBackedUpOncePerRunBeforeItIsRewritten)
{
    writeWorkbook(memories({{7.05, QStringLiteral("a")}, {14.2, QStringLiteral("b")}}));
    const QByteArray original = contents(path());
    const QString backup = path() + ".bak";

    auto model = openModel(path());
    ASSERT_TRUE(model->setData(model->index(0, MemoryListModel::NoteColumn), "a2"));
    EXPECT_FALSE(QFileInfo::exists(backup));
    ASSERT_TRUE(model->commitRow(0).ok);
    EXPECT_EQ(contents(backup), original);
    EXPECT_NE(contents(path()), original);

    ASSERT_TRUE(model->removeMemories(1).ok);
    EXPECT_EQ(contents(backup), original); // still the file as it was before this run
    const QByteArray afterFirstRun = contents(path());
    model.reset();

    // The next run backs up the file as that run found it.
    auto nextRun = openModel(path());
    ASSERT_TRUE(nextRun->setData(nextRun->index(0, MemoryListModel::NoteColumn), "a3"));
    ASSERT_TRUE(nextRun->commitRow(0).ok);
    EXPECT_EQ(contents(backup), afterFirstRun);
}

TEST_F(WorkbookFile, AWorkbookIsNotReplacedWhenItsBackupCannotBeMade)
{
    writeWorkbook(memories({{7.05, QStringLiteral("a")}}));
    const QByteArray original = contents(path());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("Memories.xls.bak")));

    auto model = openModel(path());
    QSignalSpy failed(model.get(), &MemoryListModel::saveFailed);
    ASSERT_TRUE(model->setData(model->index(0, MemoryListModel::NoteColumn), "a2"));
    EXPECT_FALSE(model->commitRow(0).ok);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("backup"))
        << failed.at(0).at(0).toString().toStdString();
    EXPECT_EQ(contents(path()), original);
    EXPECT_EQ(model->displayText(0, MemoryListModel::NoteColumn), "a2");
}

TEST_F(WorkbookFile, AReadOnlyWorkbookIsShownButNotEdited)
{
    writeWorkbook(memories({{7.05, QStringLiteral("a")}}));
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadUser));
    if (QFileInfo(path()).isWritable())
        GTEST_SKIP() << "file permissions do not bind this user (root)";
    const QByteArray original = contents(path());

    auto model = openModel(path());
    EXPECT_EQ(model->problem(), "Memories.xls is read-only");
    EXPECT_EQ(model->displayText(0, MemoryListModel::FreqColumn), "7.05");
    EXPECT_FALSE(model->setData(model->index(0, MemoryListModel::NoteColumn), "b"));
    model.reset();
    EXPECT_EQ(contents(path()), original);
}

TEST_F(WorkbookFile, ALegacyWorkbookIsCopiedOnlyWhenTheUsersOneIsMissing)
{
    const QString legacy = path(QStringLiteral("ProgramFiles/Memories.xls"));
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("ProgramFiles")));
    writeBytes(legacy, "legacy workbook");
    ASSERT_TRUE(QFile::setPermissions(legacy, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    const QString users = path(QStringLiteral("AppData/Rxdeck/Memories.xls"));

    EXPECT_TRUE(adoptLegacyWorkbook(users, legacy));
    EXPECT_EQ(contents(users), "legacy workbook");
    EXPECT_TRUE(QFileInfo::exists(legacy));
    EXPECT_TRUE(QFile::permissions(users) & QFileDevice::WriteOwner);

    writeBytes(users, "user's own");
    EXPECT_FALSE(adoptLegacyWorkbook(users, legacy));
    EXPECT_EQ(contents(users), "user's own");
    EXPECT_EQ(contents(legacy), "legacy workbook");

    EXPECT_FALSE(adoptLegacyWorkbook(path(QStringLiteral("other/Memories.xls")),
                                     path(QStringLiteral("nowhere/Memories.xls"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("other"))));
}

} // namespace
} // namespace rxdeck::memories
