// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/framebox.h"

#include <algorithm>
#include <QPainter>

namespace rxdeck {

FrameBox::FrameBox(const QString& caption, const QColor& background, QWidget* parent)
    : QWidget(parent), caption_(caption), background_(background)
{
    setAccessibleName(caption);
}

void FrameBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    // Etched border: a dark line with a light one just inside it.
    const QRect outer = rect().adjusted(0, lineY, -2, -2);
    painter.setPen(background_.darker(160));
    painter.drawRect(outer);
    painter.setPen(background_.lighter(140));
    painter.drawRect(outer.translated(1, 1));

    const int textWidth = metrics.horizontalAdvance(caption_);
    const QRect textRect(8, 0, textWidth + 4, metrics.height());
    painter.fillRect(textRect, background_);
    painter.setPen(QColor(0, 0, 192));
    painter.drawText(textRect, Qt::AlignCenter, caption_);
}

ScaleLabel::ScaleLabel(const QString& text, int firstCentre, int spacing, QWidget* parent)
    : QWidget(parent), text_(text), firstCentre_(firstCentre), spacing_(spacing)
{
    setAccessibleName(text.simplified());
}

QStringList ScaleLabel::marks() const
{
    return text_.split(u' ', Qt::SkipEmptyParts);
}

int ScaleLabel::markRoom() const
{
    constexpr int gap = 4;
    const int lastCentre = markCentre(int(marks().size()) - 1);
    return std::min(spacing_ - gap, 2 * (width() - gap / 2 - lastCentre));
}

void ScaleLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QStringList marks = this->marks();
    const QFontMetrics metrics(font());
    for (int i = 0; i < marks.size(); ++i) {
        const int centre = markCentre(int(i));
        const int width = metrics.horizontalAdvance(marks[i]);
        painter.drawText(QRect(centre - width / 2 - 1, 0, width + 2, metrics.height()),
                         Qt::AlignCenter, marks[i]);
    }
}

} // namespace rxdeck
