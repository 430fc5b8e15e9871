// The workbook file store on a real file system: the backup, other programs' saves, and
// saves that fail on a full disk.

#include "memories/list/workbookstore.h"

#include "support/files.h"
#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <cstring>
#include <QStorageInfo>
#include <sys/mount.h>
#include <sys/resource.h>
#endif

namespace rxdeck::memories {
namespace {

using rxdeck::test::fileContents;
using rxdeck::test::putFile;
using workbook::Document;

// A workbook as another program would have saved it.
QByteArray foreignWorkbook(const QString& note, int extraRows = 0)
{
    workbook::Sheet sheet{QStringLiteral("Sheet1"),
                          {{QStringLiteral("Frequency"), QStringLiteral("Note")}, {7.05, note}}};
    for (int row = 0; row < extraRows; ++row)
        sheet.rows.push_back({row * 0.001, QStringLiteral("memory number %1").arg(row)});
    return workbook::encode({{sheet}}).value_or(QByteArray());
}

// One run of the program: opens the file, changes the first memory's note and saves.
workbook::WriteResult runAndSave(const QString& path, const QString& note)
{
    FileWorkbookStore store(path);
    LoadResult loaded = store.load();
    EXPECT_EQ(loaded.status, LoadResult::Status::Loaded);
    EXPECT_FALSE(loaded.document.setCell(0, 1, 1, note).has_value());
    return store.save(loaded.document);
}

class Store : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.filePath(QStringLiteral("Memories.xls")); }

    QTemporaryDir dir_;
};

TEST_F(Store, TheBackupKeepsTheLastVersionRxdeckDidNotWriteAcrossRuns)
{
    const QByteArray original = foreignWorkbook(QStringLiteral("original"));
    putFile(path(), original);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("first run")).ok);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("second run")).ok);
    EXPECT_EQ(fileContents(path() + ".bak"), original);

    // A spreadsheet program saves; the next rewrite keeps that version instead.
    const QByteArray theirs = foreignWorkbook(QStringLiteral("saved elsewhere"));
    putFile(path(), theirs);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("third run")).ok);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("fourth run")).ok);
    EXPECT_EQ(fileContents(path() + ".bak"), theirs);
}

TEST_F(Store, WithoutAUsableStateFileTheWorkbookCountsAsForeign)
{
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> damages{
        {"removed", [](const QString& state) { QFile::remove(state); }},
        {"not a state file", [](const QString& state) { putFile(state, "Frequency,Note\n"); }},
        {"hash cut short",
         [](const QString& state) { putFile(state, fileContents(state).chopped(9) + '\n'); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        putFile(path(), foreignWorkbook(QStringLiteral("original")));
        ASSERT_TRUE(runAndSave(path(), QStringLiteral("first run")).ok);
        const QByteArray ours = fileContents(path());
        damage(FileWorkbookStore(path()).statePath());
        ASSERT_TRUE(runAndSave(path(), QStringLiteral("second run")).ok);
        EXPECT_EQ(fileContents(path() + ".bak"), ours);
    }
}

TEST_F(Store, AVersionItHasNotReadIsNeverOverwritten)
{
    struct Case
    {
        const char* name;
        std::function<void(const QString&)> otherProgram;
        bool changed;
    };
    const std::vector<Case> cases{
        {"saved with another size",
         [](const QString& path) { putFile(path, foreignWorkbook(QStringLiteral("longer note"))); },
         true},
        {"one byte changed",
         [](const QString& path) {
             QByteArray bytes = fileContents(path);
             bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 1);
             putFile(path, bytes);
         },
         true},
        {"removed", [](const QString& path) { QFile::remove(path); }, true},
        {"saved again unchanged", [](const QString& path) { putFile(path, fileContents(path)); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putFile(path(), foreignWorkbook(QStringLiteral("note")));
        FileWorkbookStore store(path());
        LoadResult loaded = store.load();
        ASSERT_EQ(loaded.status, LoadResult::Status::Loaded);
        EXPECT_FALSE(store.changedOnDisk());
        c.otherProgram(path());
        const QByteArray theirs = fileContents(path());
        EXPECT_EQ(store.changedOnDisk(), c.changed);

        ASSERT_FALSE(loaded.document.setCell(0, 1, 1, QStringLiteral("mine")).has_value());
        const workbook::WriteResult saved = store.save(loaded.document);
        EXPECT_EQ(saved.ok, !c.changed) << saved.error.toStdString();
        if (c.changed) {
            EXPECT_EQ(fileContents(path()), theirs);
        }
        EXPECT_EQ(QFile::exists(path()), !theirs.isEmpty());
    }
}

TEST_F(Store, AFileCreatedAfterLoadingAMissingOneIsNotOverwritten)
{
    FileWorkbookStore store(path());
    ASSERT_EQ(store.load().status, LoadResult::Status::Missing);
    EXPECT_FALSE(store.changedOnDisk());
    putFile(path(), "theirs");
    EXPECT_TRUE(store.changedOnDisk());
    EXPECT_FALSE(store.save(Document()).ok);
    EXPECT_EQ(fileContents(path()), "theirs");
}

#ifdef Q_OS_LINUX

// A save that fails for lack of space: the workbook is another program's again since the last
// run, so the save would back it up and rewrite it. Nothing of the three files may change.
void expectAFailedSaveChangesNothing(const QString& folder, const std::function<void()>& fillUp)
{
    const QString path = QDir(folder).filePath(QStringLiteral("Memories.xls"));
    putFile(path, foreignWorkbook(QStringLiteral("original")));
    ASSERT_TRUE(runAndSave(path, QStringLiteral("first run")).ok);
    putFile(path, foreignWorkbook(QStringLiteral("saved elsewhere")));

    FileWorkbookStore store(path);
    ASSERT_EQ(store.load().status, LoadResult::Status::Loaded);
    // 13 kB: less than QSaveFile's write buffer, where a failed flush went unnoticed.
    const std::optional<Document> large =
        Document::parse(foreignWorkbook(QStringLiteral("large"), 200)).document;
    ASSERT_TRUE(large);
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    std::vector<QByteArray> before;
    for (const QString& file : files)
        before.push_back(fileContents(QDir(folder).filePath(file)));

    fillUp();
    const workbook::WriteResult saved = store.save(*large);
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.error.isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(),
              files.join(' ').toStdString())
        << "no temporary file may be left";
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(fileContents(QDir(folder).filePath(files.at(i))) == before[i])
            << files.at(i).toStdString() << " changed";
}

// A tmpfs of its own, so the disk really fills up.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const QString& folder) : folder_(folder.toLocal8Bit())
    {
        if (::mount("tmpfs", folder_.constData(), "tmpfs", 0, "size=256k") != 0)
            error_ = std::strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (error_.empty())
            ::umount2(folder_.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    const std::string& error() const { return error_; }

private:
    QByteArray folder_;
    std::string error_;
};

TEST_F(Store, AFullDiskLeavesWorkbookBackupAndStateAsTheyWere)
{
    const SmallFileSystem disk(dir_.path());
    if (!disk.error().empty())
        GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.error() << "); needs root";
    expectAFailedSaveChangesNothing(dir_.path(), [this] {
        // Room for the backup and the state file, not for the larger workbook.
        const qint64 free = QStorageInfo(dir_.path()).bytesAvailable();
        ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("other")));
        putFile(dir_.filePath(QStringLiteral("other/filler")), QByteArray(free - 12 * 1024, 'x'));
    });
}

// Writes past a few kilobytes fail with EFBIG, as they fail with ENOSPC on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

TEST_F(Store, AWriteThatFailsPartWayLeavesWorkbookBackupAndStateAsTheyWere)
{
    std::optional<FileSizeLimit> limit;
    expectAFailedSaveChangesNothing(dir_.path(), [&limit] { limit.emplace(8 * 1024); });
}

#endif

} // namespace
} // namespace rxdeck::memories
