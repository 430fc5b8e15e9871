// SPDX-License-Identifier: GPL-3.0-or-later
// Built three times: against the system's fonts, where the panel's designed faces are
// installed; with RXDECK_ONLY_DEJAVU under a fontconfig file that offers DejaVu alone,
// as on a system without the metric-compatible Arial; and with RXDECK_NO_FONTS under
// one that offers no font at all.
#include "shell/framebox.h"
#include "shell/panelbuilder.h"
#include "shell/textfit.h"
#include "support/windowfixture.h"

#include <gtest/gtest.h>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>

using namespace rxdeck;
using namespace rxdeck::test;

namespace {

#ifndef RXDECK_NO_FONTS // with no glyphs there is nothing to see

void show(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QPushButton*>(control))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
}

// First and last column where two pictures differ in the given rows; an empty range
// when they agree.
std::pair<int, int> changedColumns(const QImage& a, const QImage& b, int top, int bottom)
{
    int first = a.width(), last = -1;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

// The control as its window paints it, with whatever lies over or under it. The
// picture starts filled, since a control that paints opaquely (the signal box) leaves
// its frame's rounded corners alone.
QImage picture(QWidget* control)
{
    QWidget* top = control->window();
    QImage image(control->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    top->render(&image, QPoint(),
                QRegion(QRect(control->mapTo(top, QPoint(0, 0)), control->size())));
    return image;
}

// The columns of the control that change when it shows `text` instead of nothing.
std::pair<int, int> inkInControl(QWidget* control, const QString& text)
{
    show(control, QString());
    const QImage blank = picture(control);
    show(control, text);
    return changedColumns(blank, picture(control), 0, blank.height() - 1);
}

// How wide `text` is in `font` when nothing cuts it: drawn on a wide sheet.
int inkWidthUncut(const QWidget* control, const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font, control);
    QImage sheet(metrics.horizontalAdvance(text) + 40, metrics.height() + 20, QImage::Format_RGB32);
    // Points become pixels on the sheet as they do on the control's screen.
    sheet.setDotsPerMeterX(qRound(control->logicalDpiX() / 0.0254));
    sheet.setDotsPerMeterY(qRound(control->logicalDpiY() / 0.0254));
    sheet.fill(Qt::white);
    const QImage empty = sheet.copy();
    {
        QPainter painter(&sheet);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(20, 10 + metrics.ascent(), text);
    }
    const auto [first, last] = changedColumns(empty, sheet, 0, sheet.height() - 1);
    return last < first ? 0 : last - first + 1;
}

// The panel's text-bearing controls, by their names.
std::vector<QWidget*> textControls(QWidget* panel)
{
    static const QRegularExpression names(QStringLiteral("^(Label|Command|Text)\\d+$"));
    std::vector<QWidget*> controls;
    for (QWidget* control : panel->findChildren<QWidget*>(names))
        if (!control->isHidden() &&
            (qobject_cast<QLabel*>(control) || qobject_cast<QPushButton*>(control) ||
             qobject_cast<QLineEdit*>(control)))
            controls.push_back(control);
    return controls;
}

class PanelTexts : public WindowTest
{
protected:
    void SetUp() override
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // No blinking cursor in the pictures.
        window->centralWidget()->setFocus();
    }
};

#endif

} // namespace

#ifndef RXDECK_NO_FONTS

TEST_F(PanelTexts, EveryTextAControlCanShowFitsIt)
{
    const std::vector<QWidget*> controls = textControls(window->centralWidget());
    ASSERT_GE(controls.size(), 45u);
    for (QWidget* control : controls) {
        const QString name = control->objectName();
        const QString start = textsShownBy(control, Desk::panelTexts()).first();
        const QRect room = textRoom(control);
        for (const QString& text : textsShownBy(control, Desk::panelTexts())) {
            if (text.trimmed().isEmpty())
                continue;
            const auto [first, last] = inkInControl(control, text);
            const int uncut = inkWidthUncut(control, control->font(), text);
            EXPECT_NEAR(last - first + 1, uncut, 1)
                << qPrintable(name) << " \"" << qPrintable(text) << "\" is cut";
            EXPECT_GE(first, room.left()) << qPrintable(name) << " " << qPrintable(text);
            EXPECT_LE(last, room.right()) << qPrintable(name) << " " << qPrintable(text);
        }
        show(control, start);
    }
}

TEST_F(PanelTexts, SMeterMarksStayApartAndClearOfTheFrame)
{
    auto* scale = window->findChild<ScaleLabel*>(QStringLiteral("Label4"));
    ASSERT_NE(scale, nullptr);
    scale->hide();
    const QImage bare = picture(scale);
    scale->show();
    const QImage drawn = picture(scale);
    const int bottom = bare.height() - 1;
    for (int i = 0; i + 1 < int(scale->marks().size()); ++i) {
        const int between = (scale->markCentre(i) + scale->markCentre(i + 1)) / 2;
        const auto [first, last] =
            changedColumns(bare.copy(between, 0, 1, bare.height()),
                           drawn.copy(between, 0, 1, bare.height()), 0, bottom);
        EXPECT_GT(first, last) << qPrintable(scale->marks()[i]) << " runs into "
                               << qPrintable(scale->marks()[i + 1]);
    }
    const auto [first, last] = changedColumns(bare, drawn, 0, bottom);
    EXPECT_LE(last, scale->width() - 3) << "the last mark is against the frame";
}

#endif

// The panel as built, before any fitting.
struct UnfittedPanel
{
    UnfittedPanel()
    {
        widget.resize(px(14295), px(8520));
        installFontSubstitutes();
        buildPanel(&widget, ui);
    }
    QWidget widget;
    Controls ui;
};

#if defined(RXDECK_NO_FONTS)

// Qt draws with a font given in pixels when it finds none; the fitting leaves it alone
// and says nothing.
TEST(PanelTextsUnfitted, WithoutAnyFontFittingKeepsReadableSizesQuietly)
{
    UnfittedPanel panel;
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    fitPanelTexts(&panel.widget, Desk::panelTexts());
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList());
    for (const QWidget* control : panel.widget.findChildren<QWidget*>()) {
        const QFont& font = control->font();
        if (font.pointSizeF() > 0)
            EXPECT_GE(font.pointSizeF(), 6.0) << qPrintable(control->objectName());
    }
}

#elif defined(RXDECK_ONLY_DEJAVU)

TEST(PanelTextsUnfitted, DejaVuStandsInAndCutsTheFrequencyDisplay)
{
    UnfittedPanel panel;
    EXPECT_FALSE(QFontDatabase::families().contains(QStringLiteral("Liberation Sans")));
    QLabel* display = panel.ui.Label[1];
    EXPECT_EQ(QFontInfo(display->font()).family(), QStringLiteral("DejaVu Sans"));
    panel.widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel.widget));
    const QString frequency = QStringLiteral(" 14.200.000");
    const auto [first, last] = inkInControl(display, frequency);
    EXPECT_LT(last - first + 1, inkWidthUncut(display, display->font(), frequency) - 1);
    EXPECT_TRUE(
        fitPanelTexts(&panel.widget, Desk::panelTexts()).contains(QStringLiteral("Label1")));
}

#else

TEST(PanelTextsUnfitted, FittingLeavesThePanelAsDesigned)
{
    UnfittedPanel panel;
    EXPECT_EQ(QFontInfo(panel.ui.Label[1]->font()).family(), QStringLiteral("Liberation Sans"));
    panel.ui.Label[1]->setText(QStringLiteral("Serial port?"));
    const QImage designed = panel.widget.grab().toImage();
    EXPECT_TRUE(fitPanelTexts(&panel.widget, Desk::panelTexts()).isEmpty());
    EXPECT_EQ(panel.widget.grab().toImage(), designed);
}

#endif
