// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memories/list/workbookstore.h"

#include <functional>
#include <memory>
#include <QFrame>

class QLabel;
class QTableView;

namespace rxdeck::memories {

class MemoryItemDelegate;
class MemoryListModel;

// The memory grid DBGrid1: a caption bar over a table of the memory list. The user
// edits cells in place; a typed character always goes into the current cell (there is
// no search by typing). Leaving a row writes it to the workbook, as does closing the
// window with a row still changed. Escape cancels the typing in a cell, and pressed
// again the changes to the row. Clicking a row's record selector (or Shift+Space) and
// pressing Delete removes the row. Tab moves on to the next control, not between cells. When another
// program saves the workbook the grid shows the new version, on the same cell.
class MemoryGrid : public QFrame
{
    Q_OBJECT

public:
    // Shows a message to the user; by default a warning box.
    using MessageSink = std::function<void(const QString& message)>;

    explicit MemoryGrid(const QString& workbookPath, QWidget* parent = nullptr);
    explicit MemoryGrid(std::unique_ptr<WorkbookStore> store, QWidget* parent = nullptr);
    ~MemoryGrid() override;

    // The text of the current cell as its column shows it; empty when there is no
    // current cell or it is an empty one, such as in the row for adding.
    QString currentCellText() const;
    // The frequency of the current cell's row as the Freq column shows it, whichever
    // column is current; empty when there is no current cell.
    QString currentRowFrequency() const;
    // Writes a changed row now, text in an open editor included. False when the
    // write failed (the user has been told and the change is kept).
    bool commitPending();
    // Before the window closes: writes a changed row; when it cannot be written, says why
    // and lets the user close without saving it (true) or keep working (false, the grid
    // back on the row).
    bool mayClose();

    void setMessageSink(MessageSink sink);

    // Puts back the memories the last delete removed (Ctrl+Z), while nothing has
    // changed since, and makes the first of them current.
    void undoDelete();

    QTableView* view() const { return view_; }
    MemoryListModel* model() const { return model_; }
    QLabel* captionBar() const { return caption_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setUpView();
    void showCaption();
    void keepCurrentCell();
    void restoreCurrentCell();
    void onCurrentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void selectRecord(int row);
    void report(const QString& message);

    MemoryListModel* model_;
    QLabel* caption_;
    QTableView* view_;
    MemoryItemDelegate* delegate_;
    MessageSink sink_;
    bool committing_ = false;
    bool quiet_ = false;       // a failure already reported is not reported again
    bool holdReports_ = false; // the caller reports once the event is handled
    bool tearingDown_ = false;
    QPoint cellBeforeReload_{-1, -1}; // column, row
    int pendingBeforeReload_ = -1;
};

} // namespace rxdeck::memories
