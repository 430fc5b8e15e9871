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
// Whether the file is still the version last loaded or saved is told by its bytes; after a save
// of its own the store also keeps the file's device, inode, size and change times, and while
// they stay the same it reads nothing. It keeps them only where a later write must change
// them: where the file system stamps times finer than a second and the rename that put the
// file in place came a clock tick after its last write, so that any write since, even of the
// same size within the same second, has moved its modification time.
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

    // Where the file is and when it last changed, as the file system says; times in ns.
    struct Stamp
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp&) const = default;
    };

private:
    // The outputs of Rxdeck the state file and this store know of.
    std::vector<Version> ownOutputs() const;
    // Whether the file is known_ without reading it: its stamp is the one kept.
    bool stampUnchanged() const;

    QString path_;
    // The file as last loaded or saved; none when there was no file. A version nothing
    // matches when the file could not be read.
    std::optional<Version> known_;
    // What this store last wrote, should the state file have been lost since.
    std::vector<Version> written_;
    // The file's stamp right after this store's last save, when any write since must change it.
    std::optional<Stamp> stamp_;
};

} // namespace rxdeck::memories
