// SPDX-License-Identifier: GPL-3.0-or-later
// Failure paths: files that are not workbooks, damaged or protected workbooks, workbooks that
// cannot be stored, and writes that fail. None may lose or garble the user's data.

#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/document.h"
#include "memories/workbook/workbook.h"
#include "workbook_test_support.h"

#include "support/files.h"
#include <csignal>
#include <gtest/gtest.h>
#include <limits>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <unistd.h>

namespace rxdeck::workbook {
namespace {

using biff8::Bytes;
using testing::Rows;
using testing::sameRows;
using testing::text;
namespace record = biff8::record;

using rxdeck::test::fileContents;
using rxdeck::test::putFile;

const Workbook listBook{{{"Sheet1", {{text("Frequency"), text("Note")}, {7.05, text("net")}}}}};

// A workbook stream of one sheet whose globals carry `extra` records after the BOF.
QByteArray rawWorkbook(const QByteArray& extraGlobals, const QByteArray& sheetCells = {})
{
    const QByteArray bof = Bytes().u16(0x0600).u16(0x0005).u16(0).u16(0).u32(0).u32(6).data();
    const QByteArray sheetBof = Bytes().u16(0x0600).u16(0x0010).u16(0).u16(0).u32(0).u32(6).data();
    const QByteArray name = "Sheet1";
    Bytes globals;
    globals.record(record::bof, bof).raw(extraGlobals);
    const qsizetype offsetField = globals.size() + 4;
    globals.record(record::boundSheet, Bytes().u32(0).u8(0).u8(0).u8(6).u8(0).raw(name).data());
    globals.record(record::eof, {});
    globals.patchU32(offsetField, static_cast<std::uint32_t>(globals.size()));
    globals.record(record::bof, sheetBof);
    globals.record(record::dimensions, Bytes().u32(0).u32(1).u16(0).u16(1).u16(0).data());
    globals.raw(sheetCells).record(record::eof, {});
    const std::optional<QByteArray> file = compound::create(globals.data());
    return file.value_or(QByteArray());
}

// --- Reading -----------------------------------------------------------------------------------

struct BadFile
{
    const char* name;
    QByteArray bytes;
    const char* error;
};

std::vector<BadFile> badFiles()
{
    QByteArray ole = QByteArray::fromHex("d0cf11e0a1b11ae1");
    ole.append(QByteArray(4096, '\x5a'));
    QByteArray notWorkbook = *compound::create("no BIFF records here");
    return {
        {"empty file", {}, "not a workbook"},
        {"text file", "Frequency;Note\n7.05;net\n", "not a workbook"},
        {"CSV with xls name", "Frequency,Note\r\n7.05,net\r\n", "not a workbook"},
        {"compound file header then garbage", ole, "damaged workbook"},
        {"compound file without BIFF records", notWorkbook, "not a workbook"},
    };
}

TEST(ReadFailure, FilesThatAreNotWorkbooksAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const BadFile& bad : badFiles()) {
        SCOPED_TRACE(bad.name);
        const QString path = dir.filePath("Memories.xls");
        putFile(path, bad.bytes);
        const ReadResult result = read(path);
        EXPECT_FALSE(result.book);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(result.error, QString::fromLatin1(bad.error));
    }
}

TEST(ReadFailure, MissingFileAndFolderAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(read(dir.filePath("Memories.xls")).error, QStringLiteral("file not found"));
    const ReadResult folder = read(dir.path());
    EXPECT_FALSE(folder.book);
    EXPECT_FALSE(folder.error.isEmpty());
}

TEST(ReadFailure, TruncatedWorkbookFailsOrReadsWhole)
{
    // A cut file must never come back as a shorter memory list.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Workbook book = listBook;
    for (int i = 0; i < 200; ++i)
        book.sheets[0].rows.push_back({i * 0.1, QStringLiteral("memory %1").arg(i)});
    const std::optional<QByteArray> whole = encode(book);
    ASSERT_TRUE(whole);
    const QString path = dir.filePath("Memories.xls");
    for (qsizetype cut : {qsizetype{1}, qsizetype{511}, qsizetype{512}, qsizetype{1536},
                          whole->size() / 2, whole->size() - 512, whole->size() - 1}) {
        SCOPED_TRACE(cut);
        putFile(path, whole->left(cut));
        const ReadResult result = read(path);
        if (result.book)
            EXPECT_TRUE(sameRows(book.sheets[0].rows, result.book->sheets.at(0).rows));
        else
            EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(ReadFailure, PasswordProtectedWorkbookIsRefused)
{
    // FILEPASS with the RC4 header of Excel 97's default encryption.
    Bytes filePass;
    filePass.u16(1).u16(1).u16(1).raw(QByteArray(48, '\x11'));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    putFile(path, rawWorkbook(Bytes().record(record::filePass, filePass.data()).data()));
    const ReadResult result = read(path);
    EXPECT_FALSE(result.book);
    EXPECT_EQ(result.error, QStringLiteral("password protected"));
}

TEST(ReadFailure, StringOverThreeRecordsIsReadWhole)
{
    // A shared string whose characters run over three records, each CONTINUE starting with the
    // character-width flag again.
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "two-byte characters" : "one-byte characters");
        const int width = wide ? 2 : 1;
        const int inFirst = 8213 / width;
        const int inSecond = 8223 / width;
        const QByteArray flags(1, wide ? '\x01' : '\x00');
        Bytes sst;
        sst.u32(1).u32(1).u16(static_cast<std::uint16_t>(inFirst + inSecond + 5)).raw(flags);
        sst.raw(QByteArray(inFirst * width, 'a'));
        Bytes table;
        table.record(record::sst, sst.data());
        table.record(record::continued,
                     Bytes().raw(flags).raw(QByteArray(inSecond * width, 'b')).data());
        table.record(record::continued, Bytes().raw(flags).raw(QByteArray(5 * width, 'c')).data());
        const QByteArray cell =
            Bytes().record(record::labelSst, Bytes().u16(0).u16(0).u16(15).u32(0).data()).data();
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("Memories.xls");
        putFile(path, rawWorkbook(table.data(), cell));
        const ReadResult result = read(path);
        ASSERT_TRUE(result.book) << result.error.toStdString();
        // Two-byte characters made of the bytes "aa" are U+6161.
        const auto letter = [wide](char c) { return QChar(wide ? (c << 8 | c) : c); };
        const QString expected = QString(inFirst, letter('a')) + QString(inSecond, letter('b')) +
                                 QString(5, letter('c'));
        EXPECT_TRUE(sameRows({{expected}}, result.book->sheets.at(0).rows));
    }
}

TEST(ReadFailure, FuzzFindingsAreRefusedOrReadSafely)
{
    // Damaged files the fuzzer found: a directory entry whose name length is 65535, text
    // lengths that run past their records, a second DIMENSIONS record after the first cells, a
    // sheet that declares a huge area (which an earlier reader walked for 15 s), and a summary
    // stream whose blocks are missing (which an edit could not write back), a formula cell
    // stored twice (whose first record an edit once recalculated). Each is refused, or read for
    // what it holds and saved after an edit, reading back as the document held it; under
    // AddressSanitizer (RXDECK_SANITIZE) this also proves no read goes out of bounds.
    const QDir data(QStringLiteral(WORKBOOK_TEST_DATA));
    const QStringList files = data.entryList({"fuzz-*.xls"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "no fuzz findings in " << data.path().toStdString();
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const ReadResult result = read(data.filePath(name));
        if (!result.book) {
            EXPECT_EQ(result.error, QStringLiteral("damaged workbook"));
            continue;
        }
        Document document = *Document::parse(fileContents(data.filePath(name))).document;
        if (document.values().sheets.empty())
            continue;
        ASSERT_FALSE(document.setCell(0, 0, 0, 1.5));
        const std::optional<QByteArray> saved = document.save();
        ASSERT_TRUE(saved);
        const Workbook again = Document::parse(*saved).document->values();
        EXPECT_EQ(again.sheets[0].rows.at(0).at(0), Cell{1.5});
        for (std::size_t s = 0; s < again.sheets.size(); ++s)
            EXPECT_TRUE(sameRows(document.values().sheets.at(s).rows, again.sheets[s].rows));
    }
}

// --- Encoding limits ---------------------------------------------------------------------------

struct Limit
{
    const char* name;
    Workbook book;
    bool storable;
};

Workbook oneCell(const Cell& cell, const QString& sheetName = QStringLiteral("Sheet1"))
{
    return Workbook{{{sheetName, {{cell}}}}};
}

std::vector<Limit> limits()
{
    Rows tooManyRows(maxRows + 1);
    tooManyRows.back() = {1.0};
    Rows rowsWithTrailingBlanks(maxRows + 100);
    rowsWithTrailingBlanks[maxRows - 1] = {1.0};
    std::vector<Cell> tooWide(maxColumns + 1);
    tooWide.back() = 1.0;
    std::vector<Cell> wideWithBlanks(maxColumns + 10);
    wideWithBlanks[maxColumns - 1] = 1.0;
    return {
        {"no sheets", Workbook{}, false},
        {"empty sheet name", oneCell(1.0, ""), false},
        {"31-character sheet name", oneCell(1.0, QString(31, u'n')), true},
        {"32-character sheet name", oneCell(1.0, QString(32, u'n')), false},
        {"slash in sheet name", oneCell(1.0, "Band/Mode"), false},
        {"bracket in sheet name", oneCell(1.0, "Memories[1]"), false},
        {"duplicate sheet names", Workbook{{{"Sheet1", {}}, {"SHEET1", {}}}}, false},
        {"not a number", oneCell(std::numeric_limits<double>::quiet_NaN()), false},
        {"infinity", oneCell(-std::numeric_limits<double>::infinity()), false},
        {"longest text", oneCell(QString(maxTextLength, QChar(0x3042))), true},
        {"text one too long", oneCell(QString(maxTextLength + 1, QChar(0x3042))), false},
        {"longest Latin-1 text", oneCell(QString(maxLatin1TextLength, u'é')), true},
        {"Latin-1 text one too long", oneCell(QString(maxLatin1TextLength + 1, u'é')), false},
        {"too many rows", Workbook{{{"Sheet1", tooManyRows}}}, false},
        {"empty rows past the last row", Workbook{{{"Sheet1", rowsWithTrailingBlanks}}}, true},
        {"too many columns", Workbook{{{"Sheet1", {tooWide}}}}, false},
        {"empty cells past the last column", Workbook{{{"Sheet1", {wideWithBlanks}}}}, true},
    };
}

TEST(EncodeLimits, RefusesWhatCannotBeStoredWhole)
{
    for (const Limit& limit : limits()) {
        SCOPED_TRACE(limit.name);
        QString error;
        const std::optional<QByteArray> bytes = encode(limit.book, &error);
        EXPECT_EQ(bytes.has_value(), limit.storable) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), limit.storable);
    }
}

// --- Writing -----------------------------------------------------------------------------------

TEST(WriteFailure, MissingFolderFailsWithoutCreatingIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("missing/Memories.xls");
    const WriteResult result = write(path, listBook);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
}

TEST(WriteFailure, UnstorableWorkbookLeavesOldFileUntouched)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    ASSERT_TRUE(write(path, listBook).ok);
    const QByteArray before = fileContents(path);

    const WriteResult result = write(path, oneCell(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(fileContents(path), before);
}

// Lowers the largest file size this process may write, as a full disk would stop a write.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN); // fail the write instead of the process
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

TEST(WriteFailure, FullDiskLeavesOldFileUntouched)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    ASSERT_TRUE(write(path, listBook).ok);
    const QByteArray before = fileContents(path);
    Workbook bigger = listBook;
    for (int i = 0; i < 2000; ++i)
        bigger.sheets[0].rows.push_back({i * 0.01, QStringLiteral("memory %1").arg(i)});

    WriteResult result;
    {
        const FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        result = write(path, bigger);
    }
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(fileContents(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Memories.xls"})
        << "no temporary file may be left behind";
}

TEST(WriteFailure, ReadOnlyFolderLeavesOldFileUntouched)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which may write into read-only folders; the full-disk "
                        "test covers the failed write";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    ASSERT_TRUE(write(path, listBook).ok);
    const QByteArray before = fileContents(path);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    Workbook changed = listBook;
    changed.sheets[0].rows.push_back({9.41, text("BBC")});
    const WriteResult result = write(path, changed);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(fileContents(path), before);
}

TEST(Write, ReplacesExistingWorkbook)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Memories.xls");
    putFile(path, "an older file of any content");
    ASSERT_TRUE(write(path, listBook).ok);
    const ReadResult result = read(path);
    ASSERT_TRUE(result.book);
    EXPECT_TRUE(sameRows(listBook.sheets[0].rows, result.book->sheets.at(0).rows));
}

} // namespace
} // namespace rxdeck::workbook
