#pragma once

#include "memories/list/workbookstore.h"

#include <array>
#include <memory>
#include <optional>
#include <QAbstractTableModel>

namespace rxdeck::memories {

// The memory list: the rows of worksheet "Sheet1" of the memory workbook, one memory
// per row after the header row, shown as two columns, "Freq" (field "Frequency") and
// "Note" (field "Note"), plus one empty row at the bottom for adding a memory.
//
// Edits are held for one row at a time and reach the workbook only when that row is
// committed (commitRow), which writes the whole workbook once. Deleting a row writes
// at once. A workbook that cannot be read is never written: the list is then empty
// and read-only, and problem() says why.
class MemoryListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        FreqColumn = 0,
        NoteColumn = 1,
    };

    struct SaveResult
    {
        bool ok = true;
        QString error; // the message shown to the user when !ok
    };

    explicit MemoryListModel(std::unique_ptr<WorkbookStore> store, QObject* parent = nullptr);
    ~MemoryListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Holds the text as the row's pending edit. Editing another row while one is
    // pending commits that one first (and fails if it cannot be written).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

    // The text a cell shows: a number in "General Number" form, text as it is, or the
    // pending edit as typed.
    QString displayText(int row, int column) const;

    int memoryCount() const;
    bool isNewRow(int row) const;
    int pendingRow() const { return m_pending.row; }
    // True when the last commit of the pending row failed and it was not edited since.
    bool pendingCommitFailed() const { return m_pendingFailed; }

    bool isEditable() const { return m_editable; }
    // Why the list cannot be edited, in a few words; empty when it can.
    QString problem() const { return m_problem; }

    // Writes the pending edit of row; does nothing when row has none. On failure the
    // edit stays pending and saveFailed is emitted.
    SaveResult commitRow(int row);
    SaveResult commitPending();
    // Forgets the pending edit; the row shows what the workbook holds again.
    void discardPending();
    // Removes count rows from row on and writes the workbook; the new row cannot be
    // removed, only cleared. On failure nothing is removed and saveFailed is emitted.
    SaveResult removeMemories(int row, int count = 1);

signals:
    void saveFailed(const QString& message);

private:
    using Cell = workbook::Cell;

    struct PendingRow
    {
        int row = -1;
        std::array<std::optional<QString>, 2> text; // per column, set when edited
    };

    void load();
    workbook::Sheet* sheet();
    const workbook::Sheet* sheet() const;
    const Cell& cell(int row, int column) const;
    int sheetColumn(int column) const;
    Cell typedCell(int column) const;
    void clearPending();
    SaveResult save(const QString& failureIntro);

    std::unique_ptr<WorkbookStore> m_store;
    workbook::Workbook m_book;
    int m_sheetIndex = -1; // "Sheet1" in m_book.sheets; -1 until it exists
    std::array<int, 2> m_sheetColumns{0, 1};
    bool m_hasHeader = false;
    bool m_editable = true;
    bool m_showRows = true;
    QString m_problem;
    PendingRow m_pending;
    bool m_pendingFailed = false;
};

} // namespace rxdeck::memories
