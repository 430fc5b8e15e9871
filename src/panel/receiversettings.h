// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// Detection mode, IF bandwidth, AGC, manual gain and RF path. Mode and bandwidth
// lamps follow only the receiver's reports; the RF-path lamps and the AGC readout
// change at once.
class ReceiverSettings : public QObject
{
    Q_OBJECT
public:
    ReceiverSettings(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    void ModeClick(int mode);       // `Command2_Click` … `Command7_Click`: DET1..6
    void BandwidthClick(int width); // `Command12_Click`, `Command8_Click` …: BWS1..5
    void AgcClick(int mode);        // `Command19_Click` slow, `Command20_Click` fast
    void HScroll1_Change();
    void RfPathClick(int path); // `Command24_Click` … `Command26_Click`: RFP1..3

signals:
    // The panel now shows this RF path (1..3) or gain control (0 manual, 1 slow, 2 fast).
    void rfPathShown(int path);
    void agcShown(int mode);

private:
    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
