// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// The receiver's own scan between the limit boxes, with its dwell time and step.
// Exactly one of "Scan start" and "Scan stop" is enabled; that is the scan state.
class Scan : public QObject
{
    Q_OBJECT
public:
    Scan(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    void Command37_Click();
    void Command40_Click();
    void HScroll6_Change();
    void HScroll7_Change();

private:
    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
