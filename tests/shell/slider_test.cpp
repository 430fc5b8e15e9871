// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/slider.h"

#include <gtest/gtest.h>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using rxdeck::Slider;

namespace {

struct DragFixture
{
    Slider slider{136, 0, 1, 10, 136};
    DragFixture()
    {
        slider.resize(280, 25);
        slider.show();
    }
};

} // namespace

TEST(Slider, MapsAReversedRangeOntoTheBar)
{
    Slider slider(136, 0, 1, 10, 136);
    EXPECT_EQ(slider.bar()->value(), 0); // thumb at the left end
    slider.setValue(0);
    EXPECT_EQ(slider.bar()->value(), 136);
    EXPECT_TRUE(slider.inRange(0));
    EXPECT_TRUE(slider.inRange(136));
    EXPECT_FALSE(slider.inRange(137));
    EXPECT_FALSE(slider.inRange(-1));
    slider.setValue(500); // clamped
    EXPECT_EQ(slider.value(), 136);
}

TEST(Slider, ChangeFiresOncePerCompletedChangeAndNestsInsideSetValue)
{
    Slider slider(-2000, 2000, 100, 100, 0);
    int seen = 0;
    bool nested = false;
    bool inside = false;
    QObject::connect(&slider, &Slider::changed, [&] {
        ++seen;
        nested = inside;
    });
    inside = true;
    slider.setValue(1000);
    inside = false;
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(nested);
    slider.setValue(1000);
    EXPECT_EQ(seen, 1);
}

TEST(Slider, ADragReportsOnlyOnRelease)
{
    DragFixture f;
    QSignalSpy spy(&f.slider, &Slider::changed);
    QScrollBar* bar = f.slider.bar();
    // Drive the drag through the bar's own slider-move protocol.
    bar->setSliderDown(true);
    for (int pos = 1; pos <= 40; ++pos)
        bar->setSliderPosition(pos);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(f.slider.value(), 136);
    bar->setSliderDown(false);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(f.slider.value(), 96);
}
