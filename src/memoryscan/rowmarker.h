// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QAbstractItemView;

namespace rxdeck::memoryscan {

// Marks one row of a table view, the memory the scan is on, with a frame drawn over
// the view; it takes no clicks and leaves the current cell and selection alone.
class RowMarker : public QWidget
{
    Q_OBJECT
public:
    explicit RowMarker(QAbstractItemView* view);

    // -1: no row marked.
    void markRow(int row);
    int markedRow() const { return row_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* view_;
    int row_ = -1;
};

} // namespace rxdeck::memoryscan
