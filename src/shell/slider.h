// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QScrollBar;

namespace rxdeck {

// A horizontal slider with scroll-bar behaviour: arrows move it by smallChange and
// the track by largeChange. Minimum may lie above maximum: the left end is always
// the minimum. changed() fires once per completed change: an arrow or track click,
// an arrow key, the release of a dragged thumb (not while dragging), and at once,
// nested inside the call, when code sets a different value. The mouse wheel does
// not move it.
class Slider : public QWidget
{
    Q_OBJECT
public:
    Slider(int minimum, int maximum, int smallChange, int largeChange, int value,
           QWidget* parent = nullptr);

    int value() const;
    // Values outside the range are clamped; the same value does nothing.
    void setValue(int value);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    bool inRange(int value) const;

    // The underlying bar, whose position runs 0..|maximum - minimum| left to right.
    QScrollBar* bar() const { return bar_; }

    // The value as the panel shows it, for assistive technology: value() times scale,
    // in unit ("Hz", "dBm", or none), with a sign when signedValue.
    struct Shown
    {
        double scale = 1;
        QString unit;
        bool signedValue = false;
    };
    void setShown(const Shown& shown) { shown_ = shown; }
    double shownValue() const { return value() * shown_.scale; }
    double shownMinimum() const;
    double shownMaximum() const;
    double shownStep() const;
    // "-100 dBm", "+1000 Hz".
    QString shownText() const;
    // Sets the value nearest to a shown one, clamped to the range.
    void setShownValue(double shown);

signals:
    void changed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int toPosition(int value) const;

    QScrollBar* bar_;
    int minimum_;
    int maximum_;
    int direction_; // +1 when the value grows to the right, -1 when it shrinks
    Shown shown_;
};

} // namespace rxdeck
