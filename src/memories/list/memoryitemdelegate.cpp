// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memoryitemdelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace rxdeck::memories {

MemoryItemDelegate::MemoryItemDelegate(QAbstractItemView* view)
    : QStyledItemDelegate(view), view_(view)
{
}

void MemoryItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    const bool current = index == view_->currentIndex();
    const bool rowSelected = view_->selectionModel() != nullptr &&
                             view_->selectionModel()->isRowSelected(index.row(), index.parent());
    if (!current || rowSelected) {
        opt.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, opt, index);
        return;
    }

    // The current cell looks like an edit box waiting for typing.
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    QStyleOptionFrame frame;
    frame.rect = option.rect;
    frame.palette = option.palette;
    frame.direction = option.direction;
    frame.fontMetrics = option.fontMetrics;
    frame.state = QStyle::State_Enabled | QStyle::State_Sunken;
    if (view_->hasFocus())
        frame.state |= QStyle::State_HasFocus;
    frame.lineWidth = 1;
    style->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, painter, widget);

    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyledItemDelegate::paint(painter, opt, index);
}

QWidget* MemoryItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex& index) const
{
    // The editor takes the grid's font and colours from its parent, the viewport.
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    connect(
        editor, &QLineEdit::textEdited, this,
        [this, at = QPersistentModelIndex(index)] {
            if (at.isValid())
                emit typingStarted(at);
        },
        Qt::SingleShotConnection);
    editor_ = editor;
    emit editingChanged(true);
    return editor;
}

void MemoryItemDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    const bool open = editor_ == editor;
    if (open)
        editor_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
    if (open)
        emit editingChanged(false);
}

void MemoryItemDelegate::commitOpenEditor()
{
    if (editor_)
        emit commitData(editor_);
}

void MemoryItemDelegate::closeOpenEditor()
{
    if (!editor_)
        return;
    QWidget* editor = editor_;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool MemoryItemDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor != nullptr && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            // The grid has the focus again; the same key there moves on to the next
            // (or previous) control, since the grid does not use Tab between cells.
            QKeyEvent again(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(view_, &again);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace rxdeck::memories
