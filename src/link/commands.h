// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Every command line Rxdeck writes to the receiver. A line holds one or more
// commands joined by ";" and ends with exactly one line feed, no carriage return.
namespace rxdeck::commands {

inline constexpr char settingsQueryText[] =
    "RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?";
inline constexpr char statusQueryText[] = "FRQ?;DET?;SGV?;BWS?";

// The values the receiver takes with each slider's command, as that slider spans them.
struct Range
{
    int lowest;
    int highest;
    constexpr bool contains(int v) const { return v >= lowest && v <= highest; }
};
inline constexpr Range gainRange{0, 127};          // RFG
inline constexpr Range passbandRange{-2000, 2000}; // PBT, Hz
inline constexpr Range bfoRange{-8000, 8000};      // BFO, Hz
inline constexpr Range blankerRange{0, 10};        // BLK
inline constexpr Range squelchRange{0, 136};       // SQL, the threshold below 0 dBm

QByteArray settingsQuery();
QByteArray statusQuery();

// "FRQ" and a frequency text, sent as the sender holds it.
QByteArray frequency(const QString& text);

QByteArray rfPath(int path);       // RFP1..3
QByteArray agc(int mode);          // AGC1, AGC2
QByteArray manualGain(int gain);   // AGC0;RFGn
QByteArray detection(int mode);    // DET1..6
QByteArray bandwidth(int setting); // BWS1..5
// DETm;BWSn: mode and bandwidth in one line, so the receiver never has one without
// the other.
QByteArray detectionAndBandwidth(int mode, int setting);
QByteArray passband(int hz);       // PBTn
QByteArray bfo(int hz);            // BFOn; BFO0 is the reset
QByteArray blanker(int level);     // BLKn
QByteArray squelch(int level);     // SQLn
QByteArray dwell(int halfSeconds); // SDW and the seconds in shortest form
QByteArray step(int kHz);          // inc, in lower case
QByteArray scanStart(const QString& highLimit, const QString& lowLimit);
QByteArray scanStop();

// The seconds of a dwell slider value (half seconds), in shortest form: 0.5, 1, 20.
QString dwellSecondsText(int halfSeconds);

} // namespace rxdeck::commands
