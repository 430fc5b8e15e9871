// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appicon.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QSet>

namespace {

int opaqueColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
    return int(colours.size());
}

TEST(AppIcon, PixmapIsA32SquarePictureMatchingTheIcon)
{
    const QPixmap pixmap = rxdeck::appIconPixmap();
    EXPECT_EQ(pixmap.size(), QSize(32, 32));
    EXPECT_GE(opaqueColours(pixmap.toImage()), 5);
    EXPECT_EQ(rxdeck::appIcon().pixmap(32).toImage(), pixmap.toImage());
}

TEST(AppIcon, IconHoldsEachSizeDrawnAtThatSize)
{
    const QIcon icon = rxdeck::appIcon();
    for (const int side : {16, 48, 64}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side))) << side;
        EXPECT_GE(opaqueColours(icon.pixmap(side).toImage()), 4) << side;
    }
}

} // namespace
