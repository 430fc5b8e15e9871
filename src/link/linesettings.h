// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rxdeck {

// The receiver's serial line, set on a local port and on a serial server's far port
// alike. No flow control: the receiver has no handshake lines.
struct LineSettings
{
    enum class Parity
    {
        None,
        Odd,
        Even
    };
    int baudRate;
    int dataBits;
    Parity parity;
    int stopBits;
};
inline constexpr LineSettings receiverLine{9600, 8, LineSettings::Parity::None, 1};

// "9600 baud, 8N1", for messages.
inline QString lineSettingsText(const LineSettings& line = receiverLine)
{
    constexpr char parityLetters[] = {'N', 'O', 'E'};
    return QStringLiteral("%1 baud, %2%3%4")
        .arg(line.baudRate)
        .arg(line.dataBits)
        .arg(QLatin1Char(parityLetters[int(line.parity)]))
        .arg(line.stopBits);
}

} // namespace rxdeck
