// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/led.h"

#include <array>
#include <QAccessible>
#include <QPainter>
#include <QPainterPath>

namespace rxdeck {
namespace {

// Red by default, green for 1, amber for 2: distinct at a glance and for the most
// common colour-vision deficiencies also by brightness.
const std::array<QColor, 3>& lampColours()
{
    static const std::array<QColor, 3> colours = {QColor(255, 40, 32), QColor(40, 230, 60),
                                                  QColor(255, 190, 0)};
    return colours;
}

} // namespace

LampGroup::LampGroup(const QString& name, const QString& whenDark, QObject* parent)
    : QObject(parent), name_(name), whenDark_(whenDark)
{
}

void LampGroup::add(Led* lamp, const QString& caption)
{
    lamp->group_ = this;
    lamp->caption_ = caption;
    lamps_.emplace_back(lamp, caption);
}

std::optional<QString> LampGroup::reading() const
{
    if (!reading_)
        return std::nullopt;
    return reading_();
}

QString LampGroup::state() const
{
    QString lit = whenDark_;
    for (const auto& [lamp, caption] : lamps_)
        if (lamp->lit())
            lit = caption;
    if (const auto text = reading(); text && !text->trimmed().isEmpty())
        return QStringLiteral("%1, %2").arg(lit, text->trimmed());
    return lit;
}

Led::Led(QWidget* parent, int ledcolor, int shape) : QWidget(parent)
{
    setLedcolor(ledcolor);
    setShape(shape);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void Led::setLit(bool lit)
{
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent stateEvent(this, changed);
    QAccessible::updateAccessibility(&stateEvent);
    QAccessibleEvent nameEvent(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameEvent);
    emit litChanged(lit);
}

void Led::setLedcolor(int ledcolor)
{
    ledcolor_ = (ledcolor >= 0 && ledcolor < int(lampColours().size())) ? ledcolor : 0;
    update();
}

void Led::setShape(int shape)
{
    shape_ = shape == 1 ? 1 : 0;
    update();
}

QColor Led::litColor() const
{
    return lampColours()[std::size_t(ledcolor_)];
}

void Led::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The default look is a square lamp centred in the control; shape 1 fills the
    // control's width as a bar.
    QRectF body = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    if (shape_ == 0) {
        const qreal side = qMin(body.width(), body.height());
        body = QRectF(body.center().x() - side / 2, body.center().y() - side / 2, side, side);
    } else {
        body.adjust(1, 2, -1, -2);
    }

    const QColor on = litColor();
    const QColor face = lit_ ? on : on.darker(520);
    painter.setPen(QPen(QColor(20, 20, 20), 1.2));
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, lit_ ? on.lighter(150) : face.lighter(130));
    shade.setColorAt(1, face);
    painter.setBrush(shade);
    painter.drawRoundedRect(body, 2, 2);
    if (lit_) {
        // A soft highlight so a lit lamp reads as glowing, not just coloured.
        QRectF glint = body.adjusted(body.width() * 0.2, body.height() * 0.15, -body.width() * 0.2,
                                     -body.height() * 0.55);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 110));
        painter.drawRoundedRect(glint, 1.5, 1.5);
    }
}

} // namespace rxdeck
