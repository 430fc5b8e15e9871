// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appicon.h"

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace rxdeck {

namespace {

// The design is laid out on a 32 x 32 grid; other sizes scale the grid.
constexpr int designSize = 32;

// Colours of the classic sixteen-colour palette.
constexpr QRgb black = qRgb(0, 0, 0);
constexpr QRgb darkGreen = qRgb(0, 128, 0);
constexpr QRgb lime = qRgb(0, 255, 0);
constexpr QRgb blue = qRgb(0, 0, 255);
constexpr QRgb navy = qRgb(0, 0, 128);
constexpr QRgb aqua = qRgb(0, 255, 255);
constexpr QRgb red = qRgb(255, 0, 0);
constexpr QRgb yellow = qRgb(255, 255, 0);
constexpr QRgb grey = qRgb(128, 128, 128);
constexpr QRgb silver = qRgb(192, 192, 192);
constexpr QRgb white = qRgb(255, 255, 255);

void drawPanel(QPainter& p)
{
    // Cabinet: black outline, green front, lighter top and left edges for relief.
    p.fillRect(QRectF(1, 5, 30, 22), black);
    p.fillRect(QRectF(2, 6, 28, 20), darkGreen);
    p.fillRect(QRectF(2, 6, 28, 1), lime);
    p.fillRect(QRectF(2, 6, 1, 20), lime);
}

void drawFrequencyWindow(QPainter& p)
{
    p.fillRect(QRectF(4, 9, 15, 8), navy);
    p.fillRect(QRectF(5, 10, 13, 6), blue);
    // Four digits with a decimal point between the second and the third.
    for (const int left : {6, 9, 12, 15})
        p.fillRect(QRectF(left, 11, 2, 4), white);
    p.fillRect(QRectF(11, 14, 1, 1), aqua);
}

void drawLamps(QPainter& p)
{
    p.fillRect(QRectF(5, 20, 2, 2), red);
    p.fillRect(QRectF(9, 20, 2, 2), yellow);
    p.fillRect(QRectF(13, 20, 2, 2), lime);
}

void drawKnob(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(black));
    p.drawEllipse(QRectF(20, 11, 9, 9));
    p.setBrush(QColor(grey));
    p.drawEllipse(QRectF(21, 12, 7, 7));
    p.setBrush(QColor(silver));
    p.drawEllipse(QRectF(22, 13, 5, 5));
    // Pointer mark from the centre upwards.
    p.fillRect(QRectF(24, 13, 1, 3), white);
}

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // No antialiasing: every pixel keeps one of the palette colours.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.scale(qreal(size) / designSize, qreal(size) / designSize);
    drawPanel(p);
    drawFrequencyWindow(p);
    drawLamps(p);
    drawKnob(p);
    return pixmap;
}

} // namespace

QIcon appIcon()
{
    // Drawn once and shared: every window that shows it holds the same pixmaps, and
    // opening the About box again and again adds nothing to the pixmap cache.
    static const QIcon icon = [] {
        QIcon drawn;
        for (const int size : {16, 32, 48, 64})
            drawn.addPixmap(drawIcon(size));
        return drawn;
    }();
    return icon;
}

QPixmap appIconPixmap()
{
    static const QPixmap pixmap = drawIcon(designSize);
    return pixmap;
}

QPixmap appIconPixmap(int size)
{
    return drawIcon(size);
}

} // namespace rxdeck
