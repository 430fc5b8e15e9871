// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/rowmarker.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QScrollBar>

namespace rxdeck::memoryscan {

RowMarker::RowMarker(QAbstractItemView* view) : QWidget(view->viewport()), view_(view)
{
    setObjectName(QStringLiteral("memoryScanRowMarker"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    view->viewport()->installEventFilter(this);
    const auto repaint = [this] { update(); };
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, repaint);
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, repaint);
    setGeometry(view->viewport()->rect());
    hide();
}

void RowMarker::markRow(int row)
{
    row_ = row;
    if (row < 0 || !view_->model()) {
        hide();
        return;
    }
    const QModelIndex index = view_->model()->index(row, 0);
    if (index.isValid())
        view_->scrollTo(index);
    show();
    raise();
    update();
}

bool RowMarker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport() && event->type() == QEvent::Resize)
        setGeometry(view_->viewport()->rect());
    return QWidget::eventFilter(watched, event);
}

void RowMarker::paintEvent(QPaintEvent*)
{
    if (row_ < 0 || !view_->model())
        return;
    QRect band;
    for (int column = 0; column < view_->model()->columnCount(); ++column)
        band |= view_->visualRect(view_->model()->index(row_, column));
    if (band.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(200, 0, 0), 2));
    painter.drawRect(band.adjusted(1, 1, -1, -1));
}

} // namespace rxdeck::memoryscan
