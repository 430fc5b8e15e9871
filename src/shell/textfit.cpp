// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/textfit.h"

#include "shell/framebox.h"

#include <algorithm>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

namespace rxdeck {
namespace {

// No text is made smaller than this; below it a label is unreadable anyway.
constexpr qreal smallestPointSize = 6.0;
constexpr qreal shrinkStep = 0.25;

QString presentText(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    return {};
}

bool allFit(const QFont& font, const QStringList& texts, int roomWidth)
{
    const QFontMetrics metrics(font);
    for (const QString& text : texts)
        if (metrics.horizontalAdvance(text) > roomWidth)
            return false;
    return true;
}

} // namespace

QRect textRoom(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->isFlat())
            option.features |= QStyleOptionButton::Flat;
        return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth =
            edit->hasFrame()
                ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                : 0;
        const QRect contents =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        // A line edit keeps two pixels clear on either side of its text.
        constexpr int lineEditMargin = 2;
        return contents.marginsRemoved(edit->textMargins())
            .adjusted(lineEditMargin, 0, -lineEditMargin, 0);
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        const int margin = label->margin();
        return label->contentsRect().adjusted(margin, margin, -margin, -margin);
    }
    return control->rect();
}

QStringList textsShownBy(const QWidget* control, std::span<const WrittenTextTable> tables)
{
    QStringList texts{presentText(control)};
    for (const WrittenTextTable& table : tables)
        for (const WrittenTexts& item : table)
            if (control->objectName() == QLatin1String(item.control))
                for (const char* text : item.texts)
                    texts.append(QString::fromLatin1(text));
    texts.removeDuplicates();
    return texts;
}

QStringList fitPanelTexts(QWidget* panel, std::span<const WrittenTextTable> tables)
{
    QStringList shrunk;
    for (QWidget* control : panel->findChildren<QWidget*>()) {
        const auto* scale = qobject_cast<const ScaleLabel*>(control);
        if (!scale && !qobject_cast<QLabel*>(control) && !qobject_cast<QPushButton*>(control) &&
            !qobject_cast<QLineEdit*>(control))
            continue;
        if (control->isHidden())
            continue; // the working frequency's box is never seen
        control->ensurePolished();
        const QStringList texts = scale ? scale->marks() : textsShownBy(control, tables);
        const int roomWidth = scale ? scale->markRoom() : textRoom(control).width();
        QFont font = control->font();
        const qreal designed = font.pointSizeF();
        // A font given in pixels (as Qt gives one when no font is found) has no point
        // size to shrink.
        if (designed <= smallestPointSize)
            continue;
        while (!allFit(font, texts, roomWidth) && font.pointSizeF() > smallestPointSize)
            font.setPointSizeF(std::max(smallestPointSize, font.pointSizeF() - shrinkStep));
        if (font.pointSizeF() < designed) {
            control->setFont(font);
            shrunk.append(control->objectName());
        }
    }
    return shrunk;
}

} // namespace rxdeck
