// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace rxdeck::memories {

// How the memory grid's cells look and are edited: the current cell is drawn as an
// open edit box, editors are plain line edits in the grid's colours, and Tab in an
// editor leaves the grid for the next control instead of moving to the next cell.
class MemoryItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit MemoryItemDelegate(QAbstractItemView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

    bool hasOpenEditor() const { return !editor_.isNull(); }
    // Hands the open editor's text to the model and leaves the editor open.
    void commitOpenEditor();
    // Hands the open editor's text to the model and closes the editor.
    void closeOpenEditor();

signals:
    // An editor opened or went away.
    void editingChanged(bool editing) const;
    // The user changed the text of the editor on index for the first time.
    void typingStarted(const QModelIndex& index) const;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QAbstractItemView* view_;
    mutable QPointer<QWidget> editor_;
};

} // namespace rxdeck::memories
