// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/aboutbox.h"
#include "about/aboutlauncher.h"
#include "shell/appicon.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

using rxdeck::AboutBox;
using rxdeck::AboutLauncher;

namespace {

QString text(const QWidget* box, const char* label)
{
    const auto* widget = box->findChild<QLabel*>(QString::fromLatin1(label));
    return widget ? widget->text() : QStringLiteral("<no %1>").arg(QLatin1String(label));
}

// Clicks OK and runs the deletion that closing a self-deleting window schedules.
void clickOk(AboutBox* box)
{
    box->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int visibleAboutBoxes()
{
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<const AboutBox*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}

TEST(AboutBox, TextsAreBuiltFromTheProgramInfo)
{
    const AboutBox box(nullptr, rxdeck::ProgramInfo{"Other", 10, 0, 37});
    EXPECT_EQ(box.windowTitle(), "About Other");
    EXPECT_EQ(text(&box, "lblTitle"), "Other");
    EXPECT_EQ(text(&box, "lblVersion"), "Version 10.0.37");
}

TEST(AboutBox, DescriptionCreditsTheAuthorThenGivesTheReceiverSettings)
{
    const AboutBox box;
    const QString description = text(&box, "lblDescription");
    EXPECT_TRUE(description.startsWith("Written by Tamsk")) << description.toStdString();
    for (const char* needed : {"RS-232", "9600 baud", "DIP switches up"})
        EXPECT_TRUE(description.contains(QLatin1String(needed))) << needed;
}

TEST(AboutBox, IsAFixedModelessDialogWithOnlyACloseButton)
{
    QWidget owner;
    const auto* box = new AboutBox(&owner);
    EXPECT_TRUE(box->isWindow());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->minimumSize(), QSize(382, 237));
    EXPECT_EQ(box->maximumSize(), QSize(382, 237));
    const Qt::WindowFlags flags = box->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
}

TEST(AboutBox, ControlsSitInPlaceWithBlackLabelsAndTheProgramIcon)
{
    const AboutBox box;
    const std::pair<const char*, QRect> places[] = {
        {"picIcon", QRect(16, 16, 36, 36)},     {"lblTitle", QRect(70, 16, 259, 32)},
        {"lblVersion", QRect(70, 52, 259, 15)}, {"lblDescription", QRect(70, 75, 259, 78)},
        {"cmdOK", QRect(283, 175, 84, 23)},
    };
    for (const auto& [name, place] : places) {
        const auto* widget = box.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->geometry(), place) << name;
        if (qobject_cast<const QLabel*>(widget)) {
            EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(Qt::black)) << name;
        }
    }
    const auto* picture = box.findChild<QLabel*>(QStringLiteral("picIcon"));
    EXPECT_EQ(picture->pixmap().toImage(), rxdeck::appIconPixmap().toImage());
}

TEST(AboutBox, SeparatorIsEtchedGreyOverWhite)
{
    AboutBox box;
    const QImage image = box.grab().toImage();
    for (const int x : {7, 200, 377}) {
        EXPECT_EQ(image.pixelColor(x, 163), QColor(128, 128, 128)) << x;
        EXPECT_EQ(image.pixelColor(x, 164), QColor(Qt::white)) << x;
    }
}

TEST(AboutBox, OkIsTheDefaultButtonAndFirstInTabOrder)
{
    AboutBox box;
    const auto* ok = box.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    QWidget* first = box.nextInFocusChain();
    while (first != &box && !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    EXPECT_EQ(first, ok);
}

TEST(AboutLauncher, OpeningTwiceShowsTheSameSingleWindow)
{
    QWidget owner;
    AboutLauncher launcher;
    launcher.show(&owner);
    const QPointer<AboutBox> first = launcher.box();
    launcher.show(&owner);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(launcher.box(), first.data());
    EXPECT_EQ(first->parentWidget(), &owner);
    EXPECT_EQ(visibleAboutBoxes(), 1);
}

TEST(AboutLauncher, OkUnloadsAndEveryOpeningShowsTheSameTexts)
{
    QWidget owner;
    AboutLauncher launcher;
    for (int opening = 1; opening <= 3; ++opening) {
        SCOPED_TRACE(opening);
        launcher.show(&owner);
        const QPointer<AboutBox> box = launcher.box();
        ASSERT_FALSE(box.isNull());
        EXPECT_EQ(box->windowTitle(), "About Rxdeck");
        EXPECT_EQ(text(box, "lblTitle"), "Rxdeck");
        EXPECT_EQ(text(box, "lblVersion"), "Version " RXDECK_VERSION);
        clickOk(box);
        EXPECT_TRUE(box.isNull());
        EXPECT_EQ(launcher.box(), nullptr);
        EXPECT_EQ(visibleAboutBoxes(), 0);
    }
}

TEST(AboutLauncher, CloseBoxAlsoUnloads)
{
    QWidget owner;
    AboutLauncher launcher;
    launcher.show(&owner);
    const QPointer<AboutBox> box = launcher.box();
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
}

TEST(AboutLauncher, DeletesABoxStillOpenWhenItGoes)
{
    QPointer<AboutBox> box;
    {
        AboutLauncher launcher;
        launcher.show(nullptr);
        box = launcher.box();
    }
    EXPECT_TRUE(box.isNull());
}

} // namespace
