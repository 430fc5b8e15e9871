// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memories/list/workbookstore.h"

#include <array>
#include <memory>
#include <optional>
#include <QAbstractTableModel>
#include <QTimer>

class QFileSystemWatcher;

namespace rxdeck::memories {

// The memory list: the rows of worksheet "Sheet1" of the memory workbook, one memory
// per row after the header row, shown as two columns, "Freq" (field "Frequency") and
// "Note" (field "Note"), down to the last sheet row holding anything in any column,
// plus an empty row at the bottom for adding a memory. Once typing has begun in that
// row, another empty row shows below it.
//
// Edits are held for one row at a time and reach the workbook only when that row is
// committed (commitRow): only the cells typed into are written, into the workbook as
// it is on disk. Deleting a row writes at once. When another program saves the
// workbook, the list reloads it as soon as no row is being edited; a pending row is
// put on top of the new version when it is committed. A workbook that cannot be read
// is never written: the list is then empty and read-only, and problem() says why.
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

    // The text a cell shows: a number in "General Number" form, text as it is, the
    // pending edit as typed, or "?" for a formula whose result is not up to date.
    QString displayText(int row, int column) const;

    int memoryCount() const;
    bool isNewRow(int row) const;
    int pendingRow() const { return state_.pending.row; }
    // True when the last commit of the pending row failed and it was not edited since.
    bool pendingCommitFailed() const { return state_.pending.failed; }

    bool isEditable() const { return state_.layout.editable; }
    // Sheet1 is protected: no rows are added or deleted, and only cells whose format is
    // unlocked take typing, as in a spreadsheet program.
    bool isProtected() const { return state_.layout.protectedSheet; }
    // Why the list cannot be edited, in a few words; empty when it can.
    QString problem() const { return state_.layout.problem; }

    // The user has begun typing in row, before any of it reached setData: in the row
    // for adding this shows the next empty row below it at once.
    void startTyping(int row);
    // A view has an editor open; reloading waits until it is closed.
    void setEditing(bool editing);
    // Reloads the workbook when another program has changed it and no row is being
    // edited; returns true when it did. Runs by itself shortly after the file changes.
    bool reloadIfChanged();

    // Writes the pending edit of row; does nothing when row has none. On failure the
    // edit stays pending and saveFailed is emitted.
    SaveResult commitRow(int row);
    SaveResult commitPending();
    // Forgets the pending edit; the row shows what the workbook holds again.
    void discardPending();
    // Removes count rows from row on and writes the workbook; the rows for adding
    // cannot be removed, only cleared. On failure or refusal nothing is removed and
    // saveFailed is emitted.
    SaveResult removeMemories(int row, int count = 1);
    // Puts back what the last delete removed, with every row it moved, while nothing
    // has changed since: no row written, no other program's save, no edit under way.
    // Returns the first row put back, or nothing when there is nothing to undo or it
    // can no longer be undone (then saveFailed says why).
    std::optional<int> undoRemove();
    bool canUndoRemove() const { return beforeRemove_.has_value(); }

    // A column of Sheet1 the list does not show, by the heading in its header row
    // (letter case and blanks around it aside): its index, or -1 when there is none.
    int sideColumn(const QString& header) const;
    // Whether row's cell in that column holds anything.
    bool sideCellFilled(int row, int column) const;
    // Writes text into row's cell of the column headed `header`, adding the heading
    // after every used column when there is none; saved at once, like any edit.
    SaveResult setSideCell(int row, const QString& header, const QString& text);

signals:
    // A change could not be written; message says why and what became of it.
    void saveFailed(const QString& message);

private:
    using Cell = workbook::Cell;
    using Texts = std::array<QString, 2>; // Freq and Note as shown

    // Where the memories are in the workbook, and whether they may be changed.
    struct Layout
    {
        int sheet = -1; // "Sheet1" in values().sheets; -1 when there is no workbook yet
        std::array<int, 2> columns{0, 1};
        bool hasHeader = false;
        bool editable = true;
        bool showRows = true;
        bool protectedSheet = false;
        QString problem;
    };

    struct PendingRow
    {
        int row = -1;
        std::array<std::optional<QString>, 2> text; // per column, set when edited
        Texts before;                               // what the row showed when editing began
        bool failed = false;
    };

    struct State
    {
        workbook::Document document;
        Layout layout;
        PendingRow pending;

        int memoryCount() const;
        int rowCount() const;
        bool pendingIsNew() const { return pending.row >= 0 && pending.row == memoryCount(); }
        const Cell& cell(int row, int column) const;
        bool isCurrent(int row, int column) const;
        bool isLocked(int row, int column) const;
        QString savedText(int row, int column) const;
        Texts savedTexts(int row) const { return {savedText(row, 0), savedText(row, 1)}; }
        std::optional<int> findRow(const Texts& texts, int near) const;
    };

    static State loadedState(LoadResult loaded, const QString& file);
    void holdRow(int row);
    void transition(State next, int changedRow = -1);
    SaveResult fail(const QString& message);
    SaveResult catchUp(const QString& failureIntro, bool* reloaded);
    static std::optional<QString> applyPending(State& state);
    SaveResult save(const workbook::Document& document, const QString& failureIntro);
    void watch();
    void scheduleReload();

    std::unique_ptr<WorkbookStore> store_;
    State state_;
    // The list as it was before the last delete, and the first row that went.
    std::optional<State> beforeRemove_;
    int removedRow_ = -1;
    bool needsReload_ = false; // the store read a version the list does not show
    bool editing_ = false;
    bool reloadDue_ = false;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer reloadTimer_;
};

} // namespace rxdeck::memories
