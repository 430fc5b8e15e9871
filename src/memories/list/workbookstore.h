#pragma once

#include "memories/workbook/workbook.h"

#include <QString>

namespace rxdeck::memories {

// What loading the memory workbook found.
struct LoadResult
{
    enum class Status
    {
        Loaded,    // book holds the workbook
        Missing,   // no file yet: the first save creates it
        Unreadable // the file is there but could not be read; see error
    };
    Status status = Status::Missing;
    workbook::Workbook book;
    QString error;        // a few words for the user when Unreadable
    bool writable = true; // false when the file can be read but not replaced
};

// Where the memory list keeps its workbook. The list loads once when it opens and
// saves the whole workbook each time a row is committed or deleted.
class WorkbookStore
{
public:
    virtual ~WorkbookStore() = default;

    virtual LoadResult load() = 0;
    virtual workbook::WriteResult save(const workbook::Workbook& book) = 0;
    // The file's name as the user knows it, for messages ("Memories.xls").
    virtual QString fileName() const = 0;
};

// The workbook in a file. Before the first time in a run that it replaces a file it
// did not create, it copies that file to "<name>.bak" beside it: the rewrite keeps
// cell values but not the formatting or formulas a spreadsheet program put there.
class FileWorkbookStore final : public WorkbookStore
{
public:
    explicit FileWorkbookStore(QString path);

    LoadResult load() override;
    workbook::WriteResult save(const workbook::Workbook& book) override;
    QString fileName() const override;

    QString path() const { return m_path; }
    QString backupPath() const { return m_path + QStringLiteral(".bak"); }

private:
    workbook::WriteResult makeBackup();

    QString m_path;
    bool m_foreignFile = false; // the file existed before this run touched it
    bool m_backedUp = false;
};

} // namespace rxdeck::memories
