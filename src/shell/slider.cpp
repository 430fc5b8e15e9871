// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/slider.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <QEvent>
#include <QScrollBar>

namespace rxdeck {

namespace {

// Qt hands wheel events to the widget under the pointer, so scrolling across the
// panel would retune whatever slider it passes. The wheel is no way to change one.
class WheelBlindScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    // QScrollBar takes the wheel in event(), before wheelEvent() is reached.
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::Wheel)
            return QScrollBar::event(event);
        event->ignore();
        return true;
    }
};

} // namespace

Slider::Slider(int minimum, int maximum, int smallChange, int largeChange, int value,
               QWidget* parent)
    : QWidget(parent), bar_(new WheelBlindScrollBar(Qt::Horizontal, this)), minimum_(minimum),
      maximum_(maximum), direction_(maximum >= minimum ? 1 : -1)
{
    // Qt's bars need minimum below maximum, so the bar runs over positions and the
    // value is mapped; this keeps the arrows and the track pointing the right way.
    bar_->setRange(0, std::abs(maximum - minimum));
    bar_->setSingleStep(smallChange);
    bar_->setPageStep(largeChange);
    bar_->setValue(toPosition(value));
    // Without tracking, a drag reports its value only on release.
    bar_->setTracking(false);
    // Arrow keys move the thumb the way they point, as the arrow buttons do; a scroll
    // bar's default runs them the other way.
    bar_->setInvertedControls(false);
    bar_->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(bar_);
    connect(bar_, &QScrollBar::valueChanged, this, &Slider::changed);
}

int Slider::value() const
{
    return minimum_ + direction_ * bar_->value();
}

void Slider::setValue(int value)
{
    bar_->setValue(toPosition(value));
}

bool Slider::inRange(int value) const
{
    return direction_ > 0 ? (value >= minimum_ && value <= maximum_)
                          : (value <= minimum_ && value >= maximum_);
}

double Slider::shownMinimum() const
{
    return std::min(minimum_ * shown_.scale, maximum_ * shown_.scale);
}

double Slider::shownMaximum() const
{
    return std::max(minimum_ * shown_.scale, maximum_ * shown_.scale);
}

double Slider::shownStep() const
{
    return bar_->singleStep() * std::abs(shown_.scale);
}

QString Slider::shownText() const
{
    const double shown = shownValue();
    QString text = QString::number(shown);
    if (shown_.signedValue && shown > 0)
        text.prepend(u'+');
    return shown_.unit.isEmpty() ? text : text + u' ' + shown_.unit;
}

void Slider::setShownValue(double shown)
{
    const double value = std::round(shown / shown_.scale);
    const int low = std::min(minimum_, maximum_);
    const int high = std::max(minimum_, maximum_);
    setValue(int(std::clamp(value, double(low), double(high))));
}

int Slider::toPosition(int value) const
{
    return direction_ * (value - minimum_);
}

void Slider::resizeEvent(QResizeEvent*)
{
    bar_->setGeometry(rect());
}

} // namespace rxdeck
