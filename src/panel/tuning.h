// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// Direct frequency entry and the ten press-and-hold step buttons. A press takes one
// step from the working frequency in `Text5` and starts the button's repeat timer;
// each tick takes another step; the release stops it. Any mouse button steps; the
// button's own keys do not, but its shortcut and its accessibility press action take
// one step each (TuningButton::stepRequested). Set Freq sends only a frequency the
// receiver can tune, and says why otherwise.
class Tuning : public QObject
{
    Q_OBJECT
public:
    Tuning(Controls& ui, SerialPort& port, QObject* parent = nullptr);
    static WrittenTextTable writtenTexts();

    void Command1_Click();
    // One step of the button, as a press and release would take.
    void StepOnce(int button);

    // The family's shared handlers, by button number (Command35 …).
    void MouseDown(int button);
    void MouseUp(int button);
    void RepeatTick(int button);

    void Command35_MouseDown() { MouseDown(35); }
    void Command35_MouseUp() { MouseUp(35); }
    void Timer10_Timer() { RepeatTick(35); }
    void Command36_MouseDown() { MouseDown(36); }
    void Command36_MouseUp() { MouseUp(36); }
    void Timer11_Timer() { RepeatTick(36); }
    void Command21_MouseDown() { MouseDown(21); }
    void Command21_MouseUp() { MouseUp(21); }
    void Timer2_Timer() { RepeatTick(21); }
    void Command22_MouseDown() { MouseDown(22); }
    void Command22_MouseUp() { MouseUp(22); }
    void Timer3_Timer() { RepeatTick(22); }
    void Command13_MouseDown() { MouseDown(13); }
    void Command13_MouseUp() { MouseUp(13); }
    void Timer4_Timer() { RepeatTick(13); }
    void Command14_MouseDown() { MouseDown(14); }
    void Command14_MouseUp() { MouseUp(14); }
    void Timer5_Timer() { RepeatTick(14); }
    void Command15_MouseDown() { MouseDown(15); }
    void Command15_MouseUp() { MouseUp(15); }
    void Timer6_Timer() { RepeatTick(15); }
    void Command16_MouseDown() { MouseDown(16); }
    void Command16_MouseUp() { MouseUp(16); }
    void Timer7_Timer() { RepeatTick(16); }
    void Command17_MouseDown() { MouseDown(17); }
    void Command17_MouseUp() { MouseUp(17); }
    void Timer8_Timer() { RepeatTick(17); }
    void Command18_MouseDown() { MouseDown(18); }
    void Command18_MouseUp() { MouseUp(18); }
    void Timer9_Timer() { RepeatTick(18); }

    struct StepButton;

signals:
    // Nothing was sent; the sentence says why.
    void refused(const QString& reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static const StepButton* find(int button);
    void step(const StepButton& button);

    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
