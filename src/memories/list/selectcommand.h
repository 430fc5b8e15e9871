// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QByteArray>
#include <QString>

namespace rxdeck::memories {

// The command line that tunes the receiver to the frequency in a memory-grid cell:
// "FRQ", the cell text exactly as shown, and a line feed, when the text's decimal
// value lies from 0.005 to 30 MHz inclusive; nothing otherwise.
std::optional<QByteArray> selectCommandLine(const QString& cellText);

} // namespace rxdeck::memories
