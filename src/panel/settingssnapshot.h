// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class ReplyReader;
class SerialPort;
struct Controls;

// Fills the panel from the receiver's answer to the settings query, then hands
// over to the status poll. Runs on each tick of `Timer12` while it is on.
class SettingsSnapshot : public QObject
{
    Q_OBJECT
public:
    SettingsSnapshot(Controls& ui, SerialPort& port, ReplyReader& reader,
                     QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    void Timer12_Timer();

signals:
    // The panel now shows the receiver's RF path (1..3) or gain control (0..2).
    void rfPathShown(int path);
    void agcShown(int mode);
    // A settings reply has been decoded into the panel.
    void decoded();

private:
    Controls& ui_;
    SerialPort& port_;
    ReplyReader& reader_;
};

} // namespace rxdeck
