// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

    void ModeClick(int mode);       // `Command2_Click` … `Command7_Click`: DET1..6
    void BandwidthClick(int width); // `Command12_Click`, `Command8_Click` …: BWS1..5
    void AgcClick(int mode);        // `Command19_Click` slow, `Command20_Click` fast
    void HScroll1_Change();
    void RfPathClick(int path); // `Command24_Click` … `Command26_Click`: RFP1..3

private:
    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
