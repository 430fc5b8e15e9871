// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// Passband tuning, BFO, noise blanker and squelch: each change of a slider sends its
// command and shows the value beside it; "Reset" returns the BFO to zero.
class SliderControls : public QObject
{
    Q_OBJECT
public:
    SliderControls(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    void HScroll2_Change();
    void HScroll3_Change();
    void HScroll4_Change();
    void HScroll5_Change();
    void Command41_Click();

private:
    struct Function;
    void change(const Function& function);

    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
