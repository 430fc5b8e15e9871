#include "shell/slider.h"

#include <cstdlib>
#include <QScrollBar>

namespace rxdeck {

Slider::Slider(int minimum, int maximum, int smallChange, int largeChange, int value,
               QWidget* parent)
    : QWidget(parent), bar_(new QScrollBar(Qt::Horizontal, this)), minimum_(minimum),
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

int Slider::toPosition(int value) const
{
    return direction_ * (value - minimum_);
}

void Slider::resizeEvent(QResizeEvent*)
{
    bar_->setGeometry(rect());
}

} // namespace rxdeck
