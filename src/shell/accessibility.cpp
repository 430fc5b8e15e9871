// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/accessibility.h"

#include "link/numbertext.h"
#include "shell/frequencydisplay.h"
#include "shell/led.h"
#include "shell/panelbuttons.h"
#include "shell/slider.h"

#include <QAccessibleWidget>
#include <QScrollBar>

namespace rxdeck {

namespace {

// A slider is read and set by the value it shows; its bar is what takes the focus.
class SliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    SliderAccessible(QScrollBar* bar, Slider* slider)
        : QAccessibleWidget(bar, QAccessible::Slider), slider_(slider)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return slider_->accessibleName();
        case QAccessible::Description:
            return slider_->accessibleDescription();
        case QAccessible::Value:
            return slider_->shownText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QVariant currentValue() const override { return slider_->shownValue(); }
    void setCurrentValue(const QVariant& value) override
    {
        slider_->setShownValue(value.toDouble());
    }
    QVariant maximumValue() const override { return slider_->shownMaximum(); }
    QVariant minimumValue() const override { return slider_->shownMinimum(); }
    QVariant minimumStepSize() const override { return slider_->shownStep(); }

private:
    Slider* slider_;
};

// A lamp reads as its group's state ("Mode: USB"), checked while lit.
class LampAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit LampAccessible(Led* lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

    Led* lamp() const { return static_cast<Led*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        const LampGroup* group = lamp()->group();
        if (type == QAccessible::ValueInterface && group && group->reading())
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        const LampGroup* group = lamp()->group();
        if (!group)
            return QAccessibleWidget::text(t);
        switch (t) {
        case QAccessible::Name:
            return QStringLiteral("%1: %2").arg(group->name(), group->state());
        case QAccessible::Description:
            return QStringLiteral("%1 lamp, %2")
                .arg(lamp()->caption(),
                     lamp()->lit() ? QStringLiteral("lit") : QStringLiteral("dark"));
        case QAccessible::Value:
            return group->state();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = lamp()->lit();
        s.readOnly = true;
        return s;
    }

    // The group's reading in its unit, such as the signal in dBm.
    QVariant currentValue() const override
    {
        return decimalValue(lamp()->group()->reading().value_or(QString()));
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 0.0; }
    QVariant minimumValue() const override { return -140.0; }
    QVariant minimumStepSize() const override { return 1.0; }
};

// Buttons whose press action differs from a plain button's, or that can be checked.
class PanelButtonAccessible : public QAccessibleWidget
{
public:
    PanelButtonAccessible(QPushButton* button, QAccessible::Role role)
        : QAccessibleWidget(button, role)
    {
    }

    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = button()->accessibleName();
            return name.isEmpty() ? button()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (auto* choice = qobject_cast<ChoiceButton*>(button())) {
            s.checkable = true;
            s.checked = choice->isChosen();
        }
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (button()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action != pressAction() || !button()->isEnabled()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (auto* tuning = qobject_cast<TuningButton*>(button()))
            tuning->requestStep(); // the mouse's press-and-release, once
        else
            button()->click();
    }
};

// Read in megahertz, the name changing with it so that a change is announced.
class FrequencyDisplayAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit FrequencyDisplayAccessible(FrequencyDisplay* display)
        : QAccessibleWidget(display, QAccessible::StaticText)
    {
    }

    FrequencyDisplay* display() const { return static_cast<FrequencyDisplay*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return QStringLiteral("Frequency %1").arg(display()->spokenText());
        case QAccessible::Value:
            return display()->spokenText();
        case QAccessible::Description:
            return display()->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // Read-only text: no selection, no cursor.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override
    {
        return display()->spokenText().mid(start, end - start);
    }
    int characterCount() const override { return int(display()->spokenText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }
};

QAccessibleInterface* panelInterface(const QString&, QObject* object)
{
    if (auto* bar = qobject_cast<QScrollBar*>(object)) {
        if (auto* slider = qobject_cast<Slider*>(bar->parent()))
            return new SliderAccessible(bar, slider);
        return nullptr;
    }
    if (auto* lamp = qobject_cast<Led*>(object))
        return new LampAccessible(lamp);
    if (auto* choice = qobject_cast<ChoiceButton*>(object))
        return new PanelButtonAccessible(choice, QAccessible::RadioButton);
    if (auto* tuning = qobject_cast<TuningButton*>(object))
        return new PanelButtonAccessible(tuning, QAccessible::Button);
    if (auto* display = qobject_cast<FrequencyDisplay*>(object))
        return new FrequencyDisplayAccessible(display);
    return nullptr;
}

} // namespace

void installPanelAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&panelInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace rxdeck
