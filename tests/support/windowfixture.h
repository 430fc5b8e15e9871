// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/desk.h"
#include "shell/controls.h"
#include "shell/form1.h"
#include "shell/slider.h"
#include "support/fakeserialport.h"

#include <gtest/gtest.h>
#include <memory>
#include <QAction>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace rxdeck::test {

// The program put together over a fake serial port.
class WindowTest : public ::testing::Test
{
protected:
    WindowTest()
    {
        auto fake = std::make_unique<FakeSerialPort>();
        port = fake.get();
        desk = std::make_unique<Desk>(std::move(fake),
                                      workbookDir.filePath(QStringLiteral("Memories.xls")));
        window = &desk->window();
        window->setCaptureWarnings(true);
    }

    const Controls& ui() const { return window->controls(); }
    QString label(int n) const { return ui().Label[std::size_t(n)]->text(); }

    // Chooses "Comm n" and drops the settings query it sends.
    void choosePort(int n)
    {
        ui().Comm[std::size_t(n)]->trigger();
        port->takeWritten();
    }

    // Runs the snapshot on `reply`, leaving the poll running.
    void completeSnapshot(const QString& reply)
    {
        choosePort(1);
        // Whole, as the receiver ends its lines.
        port->replies = {reply.endsWith(u'\n') ? reply : reply + QStringLiteral("\r\n")};
        ui().Timer[12]->timeout({});
    }

    QTemporaryDir workbookDir; // each window keeps its memory list apart
    FakeSerialPort* port = nullptr;
    std::unique_ptr<Desk> desk;
    Form1* window = nullptr;
};

inline void clickArrow(Slider* slider, bool right)
{
    QScrollBar* bar = slider->bar();
    const QPoint point =
        right ? QPoint(bar->width() - 3, bar->height() / 2) : QPoint(3, bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, point);
}

inline void clickTrack(Slider* slider, bool right)
{
    QScrollBar* bar = slider->bar();
    const QPoint point = right ? QPoint(bar->width() - bar->height() - 4, bar->height() / 2)
                               : QPoint(bar->height() + 4, bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, point);
}

} // namespace rxdeck::test
