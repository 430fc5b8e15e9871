// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <array>
#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// Four one-click memories. A store square copies the working frequency into the
// caption of its recall button ("TempA" … "TempD" until then); the recall button
// tunes the receiver to its caption. The captions are the only storage; a memory
// never stored sends nothing and says so.
class ScratchMemories : public QObject
{
    Q_OBJECT
public:
    ScratchMemories(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    // Slot 0..3 is A..D: `Command27_Click` … store, `Command28_Click` … recall.
    void Store(int slot);
    void Recall(int slot);

signals:
    // Nothing was sent; the sentence says why.
    void refused(const QString& reason);

private:
    Controls& ui_;
    std::array<bool, 4> stored_{};
    SerialPort& port_;
};

} // namespace rxdeck
