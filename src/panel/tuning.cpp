// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/tuning.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/panelbuttons.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace rxdeck {

struct Tuning::StepButton
{
    int button;
    int timer;
    double step; // MHz, negative for the buttons that step down
};

namespace {

// The direct-entry box holds a frequency typed to the hertz.
const WrittenTexts written[] = {
    {"Text2", {"88.888888"}},
};

// Upper row steps up, lower row down, largest step on the left. "+9k" is 0.009 MHz.
constexpr Tuning::StepButton stepButtons[] = {
    {35, 10, 0.1},   {36, 11, -0.1},  {21, 2, 0.009},   {22, 3, -0.009},  {13, 4, 0.001},
    {14, 5, -0.001}, {15, 6, 0.0001}, {16, 7, -0.0001}, {17, 8, 0.00001}, {18, 9, -0.00001},
};

} // namespace

WrittenTextTable Tuning::writtenTexts()
{
    return written;
}

Tuning::Tuning(Controls& ui, SerialPort& port, QObject* parent)
    : QObject(parent), ui_(ui), port_(port)
{
    connect(ui.Command[1], &QPushButton::clicked, this, &Tuning::Command1_Click);
    for (const StepButton& b : stepButtons) {
        // Presses come through the event filter, so no click (and no key) steps.
        ui.Command[std::size_t(b.button)]->installEventFilter(this);
        if (auto* button = qobject_cast<TuningButton*>(ui.Command[std::size_t(b.button)]))
            connect(button, &TuningButton::stepRequested, this,
                    [this, n = b.button] { StepOnce(n); });
        connect(ui.Timer[std::size_t(b.timer)], &QTimer::timeout, this,
                [this, n = b.button] { RepeatTick(n); });
    }
}

const Tuning::StepButton* Tuning::find(int button)
{
    for (const StepButton& b : stepButtons)
        if (b.button == button)
            return &b;
    return nullptr;
}

bool Tuning::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease)
        return false;
    for (const StepButton& b : stepButtons) {
        if (watched != ui_.Command[std::size_t(b.button)])
            continue;
        // A quick second click arrives as a double-click; it is a press all the same.
        if (type == QEvent::MouseButtonRelease)
            MouseUp(b.button);
        else
            MouseDown(b.button);
    }
    return false; // the button still draws itself pressed and released
}

void Tuning::step(const StepButton& button)
{
    QLineEdit* working = ui_.Text[5];
    working->setText(frequencyText(decimalValue(working->text()) + button.step));
    port_.output(commands::frequency(working->text()));
}

void Tuning::MouseDown(int button)
{
    const StepButton* b = find(button);
    if (!b || !port_.portOpen())
        return;
    step(*b);
    ui_.Timer[std::size_t(b->timer)]->start();
}

void Tuning::MouseUp(int button)
{
    // The release always ends the repeat, even if the port closed while held.
    if (const StepButton* b = find(button))
        ui_.Timer[std::size_t(b->timer)]->stop();
}

void Tuning::RepeatTick(int button)
{
    const StepButton* b = find(button);
    if (!b || !port_.portOpen())
        return;
    step(*b);
}

void Tuning::StepOnce(int button)
{
    const StepButton* b = find(button);
    if (b && port_.portOpen())
        step(*b);
}

void Tuning::Command1_Click()
{
    if (!port_.portOpen())
        return;
    const QString typed = ui_.Text[2]->text();
    if (const auto problem = typedFrequencyProblem(typed)) {
        emit refused(*problem);
        return;
    }
    port_.output(commands::frequency(typed));
}

} // namespace rxdeck
