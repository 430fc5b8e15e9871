// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <cerrno>
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

TEST_F(Store, TheBackupKeepsTheLastVersionRxdeckDidNotWrite)
{
    const QByteArray original = foreignWorkbook(QStringLiteral("original"));
    putFile(path(), original);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("first run")).ok);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("second run")).ok);
    EXPECT_EQ(fileContents(path() + ".bak"), original);

    const QByteArray theirs = foreignWorkbook(QStringLiteral("saved elsewhere"));
    putFile(path(), theirs);
    ASSERT_TRUE(runAndSave(path(), QStringLiteral("third run")).ok);
    EXPECT_EQ(fileContents(path() + ".bak"), theirs);

    // Without a usable state file a run cannot tell its own output, and keeps that too.
    const QString state = FileWorkbookStore(path()).statePath();
    for (const auto& damage :
         std::vector<std::function<void()>>{[&state] { QFile::remove(state); },
                                            [&state] { putFile(state, "Frequency,Note\n"); }}) {
        const QByteArray ours = fileContents(path());
        damage();
        ASSERT_TRUE(runAndSave(path(), QStringLiteral("next run")).ok);
        EXPECT_EQ(fileContents(path() + ".bak"), ours);
    }
}

TEST_F(Store, AVersionItHasNotReadIsNeverOverwritten)
{
    const std::vector<std::pair<std::function<void(const QString&)>, bool>> otherPrograms{
        {[](const QString& file) { putFile(file, foreignWorkbook(QStringLiteral("longer"))); },
         true},
        {[](const QString& file) { // the same size
             QByteArray bytes = fileContents(file);
             bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 1);
             putFile(file, bytes);
         },
         true},
        {[](const QString& file) { QFile::remove(file); }, true},
        {[](const QString& file) { putFile(file, fileContents(file)); }, false}, // same bytes
    };
    // Each after loading, then right after a save of the store's own (the same second, and
    // likely the same clock tick), which it tells without reading the file.
    for (std::size_t run = 0; run < 2 * otherPrograms.size(); ++run) {
        const auto& [otherProgram, changed] = otherPrograms[run / 2];
        putFile(path(), foreignWorkbook(QStringLiteral("note")));
        FileWorkbookStore store(path());
        LoadResult loaded = store.load();
        if (run % 2 == 1)
            ASSERT_TRUE(store.save(loaded.document).ok);
        EXPECT_FALSE(store.changedOnDisk());
        otherProgram(path());
        const QByteArray theirs = fileContents(path());
        EXPECT_EQ(store.changedOnDisk(), changed);

        ASSERT_FALSE(loaded.document.setCell(0, 1, 1, QStringLiteral("mine")).has_value());
        EXPECT_EQ(store.save(loaded.document).ok, !changed);
        if (changed) {
            EXPECT_EQ(fileContents(path()), theirs);
            EXPECT_EQ(QFile::exists(path()), !theirs.isEmpty());
        }
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

// Undoes a change to the test process or machine when it goes out of scope.
struct Undo
{
    std::function<void()> undo;
    ~Undo() { undo(); }
};

// A save that fails for lack of space: the workbook is another program's again since the last
// run, so the save would back it up and rewrite it. None of the three files may change.
void expectAFailedSaveChangesNothing(const QString& folder, const std::function<void()>& fillUp)
{
    const QString path = QDir(folder).filePath(QStringLiteral("Memories.xls"));
    putFile(path, foreignWorkbook(QStringLiteral("original")));
    ASSERT_TRUE(runAndSave(path, QStringLiteral("first run")).ok);
    putFile(path, foreignWorkbook(QStringLiteral("saved elsewhere")));
    FileWorkbookStore store(path);
    ASSERT_EQ(store.load().status, LoadResult::Status::Loaded);
    // 13 kB: less than QSaveFile's write buffer, where a failed flush went unnoticed.
    const std::optional<Document> larger =
        Document::parse(foreignWorkbook(QStringLiteral("larger"), 200)).document;
    ASSERT_TRUE(larger);
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    std::vector<QByteArray> before;
    for (const QString& file : files)
        before.push_back(fileContents(QDir(folder).filePath(file)));

    fillUp();
    const workbook::WriteResult saved = store.save(*larger);
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.error.isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(),
              files.join(' ').toStdString());
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(fileContents(QDir(folder).filePath(files.at(i))) == before[i])
            << files.at(i).toStdString() << " changed";
}

TEST_F(Store, AFullDiskLeavesWorkbookBackupAndStateAsTheyWere)
{
    const QByteArray folder = dir_.path().toLocal8Bit();
    if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs (" << std::strerror(errno) << "); needs root";
    const Undo unmount{[&folder] { ::umount2(folder.constData(), MNT_DETACH); }};
    expectAFailedSaveChangesNothing(dir_.path(), [this] {
        // Room for the backup and the state file, not for the larger workbook.
        const qint64 free = QStorageInfo(dir_.path()).bytesAvailable();
        ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("other")));
        putFile(dir_.filePath(QStringLiteral("other/filler")), QByteArray(free - 12 * 1024, 'x'));
    });
}

// Without root: past 8 kB writes fail with EFBIG, as they fail with ENOSPC on a full disk.
TEST_F(Store, AWriteCutShortLeavesWorkbookBackupAndStateAsTheyWere)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const Undo restore{[saved, handler = std::signal(SIGXFSZ, SIG_IGN)] {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }};
    expectAFailedSaveChangesNothing(dir_.path(), [saved] {
        rlimit lowered = saved;
        lowered.rlim_cur = 8 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    });
}

#endif

} // namespace
} // namespace rxdeck::memories
