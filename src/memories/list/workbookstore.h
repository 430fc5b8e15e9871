// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memories/workbook/document.h"
#include "memories/workbook/workbook.h"

#include <optional>
#include <QByteArray>
#include <QString>
#include <vector>

namespace rxdeck::memories {

// What loading the memory workbook found.
struct LoadResult
{
    enum class Status
    {
        Loaded,    // document holds the workbook
        Missing,   // no file yet: the first save creates it
        Unreadable // the file is there but could not be read; see error
    };
    Status status = Status::Missing;
    workbook::Document document;
    QString error;        // a few words for the user when Unreadable
    bool writable = true; // false when the file can be read but not replaced
};

// Where the memory list keeps its workbook. The list loads it when it opens and again
// when another program has saved it, and saves the edited document when a row is
// committed or deleted.
class WorkbookStore
{
public:
    virtual ~WorkbookStore() = default;

    // Reads the workbook and remembers which version of the file was read.
    virtual LoadResult load() = 0;
    // True when the file on disk is no longer the version last loaded or saved: another
    // program has saved, replaced or removed it since.
    virtual bool changedOnDisk() const = 0;
    // Writes the document as the new workbook. Refuses, writing nothing, when
    // changedOnDisk(): the caller loads the new version first. Any failure leaves the old
    // workbook and its backup exactly as they were.
    virtual workbook::WriteResult save(const workbook::Document& document) = 0;
    // The file's name as the user knows it, for messages ("Memories.xls").
    virtual QString fileName() const = 0;
    // The file to watch for other programs' saves; empty when there is none.
    virtual QString watchedPath() const { return {}; }
};

// The workbook in a file. "<name>.bak" beside it always holds the last version of the
// workbook that Rxdeck did not write itself: before replacing a file that is not its
// own last output, the store copies it there, and it never copies its own output there.
//
// Which output was its own is kept across runs in the hidden file ".<name>.rxdeck" beside
// the workbook (".Memories.xls.rxdeck"): a first line "rxdeck-workbook-state 1", then one
// line "<size> <SHA-256 in hex>" for each of the last workbooks Rxdeck wrote (the newest
// and the one it replaced). A file whose size and hash match none of them is not Rxdeck's;
// a missing or damaged state file matches nothing, so the file gets backed up. Content
// decides, not the modification time: bytes identical to Rxdeck's output saved again by
// another program are still Rxdeck's output and must not replace the backup.
//
// A save writes every file it changes (backup, state file, workbook) to a temporary file
// beside it, checks each write and syncs it to the disk, and renames them into place only
// when all of them were written whole; so a full disk, a quota or an I/O error leaves the
// old workbook, backup and state file exactly as they were. A state file that cannot be
// written stops the save as well: without it a later run would take Rxdeck's output for the
// user's and back it up over the user's own version.
class FileWorkbookStore final : public WorkbookStore
{
public:
    explicit FileWorkbookStore(QString path);

    LoadResult load() override;
    bool changedOnDisk() const override;
    workbook::WriteResult save(const workbook::Document& document) override;
    QString fileName() const override;
    QString watchedPath() const override { return path_; }

    QString path() const { return path_; }
    QString backupPath() const { return path_ + QStringLiteral(".bak"); }
    QString statePath() const;

    // One version of the workbook file: its size and the SHA-256 of its bytes.
    struct Version
    {
        qint64 size = -1;
        QByteArray sha256;
        bool operator==(const Version&) const = default;
    };

private:
    // The outputs of Rxdeck the state file and this store know of.
    std::vector<Version> ownOutputs() const;

    QString path_;
    // The file as last loaded or saved; none when there was no file. A version nothing
    // matches when the file could not be read.
    std::optional<Version> known_;
    // What this store last wrote, should the state file have been lost since.
    std::vector<Version> written_;
};

} // namespace rxdeck::memories
