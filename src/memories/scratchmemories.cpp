// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/scratchmemories.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/receiver.h"
#include "link/serialport.h"
#include "shell/controls.h"

#include <QLineEdit>
#include <QPushButton>

namespace rxdeck {
namespace {

struct Slot
{
    int store;
    int recall;
};

constexpr Slot scratchSlots[] = {{27, 28}, {31, 29}, {32, 30}, {33, 34}};

// A caption keeps the frequency to 100 Hz: a blank and nn.nnnn, or eight characters
// of a stepped value.
constexpr int keptCharacters = 8;

// The recall buttons keep the first eight characters of a frequency.
const WrittenTexts written[] = {
    {"Command28", {"88.88888"}},
    {"Command29", {"88.88888"}},
    {"Command30", {"88.88888"}},
    {"Command34", {"88.88888"}},
};

} // namespace

WrittenTextTable ScratchMemories::writtenTexts()
{
    return written;
}

ScratchMemories::ScratchMemories(Controls& ui, SerialPort& port, QObject* parent)
    : QObject(parent), ui_(ui), port_(port)
{
    for (int slot = 0; slot < int(std::size(scratchSlots)); ++slot) {
        const Slot& s = scratchSlots[slot];
        connect(ui.Command[std::size_t(s.store)], &QPushButton::clicked, this,
                [this, slot] { Store(slot); });
        connect(ui.Command[std::size_t(s.recall)], &QPushButton::clicked, this,
                [this, slot] { Recall(slot); });
    }
}

void ScratchMemories::Store(int slot)
{
    if (!port_.portOpen())
        return;
    const QString working = ui_.Text[5]->text();
    ui_.Command[std::size_t(scratchSlots[slot].recall)]->setText(working.left(keptCharacters));
    stored_[std::size_t(slot)] = true;
}

void ScratchMemories::Recall(int slot)
{
    if (!port_.portOpen())
        return;
    if (!stored_[std::size_t(slot)]) {
        // The caption still names the memory ("TempA"): there is no frequency to send.
        emit refused(tr("Scratch memory %1 is empty: store a frequency in it with the small "
                        "square above it first.")
                         .arg(QChar(u'A' + slot)));
        return;
    }
    const QString stored = ui_.Command[std::size_t(scratchSlots[slot].recall)]->text();
    // Stored before the first status reply, it holds the hidden box's design text.
    const std::optional<double> mhz = numberOfText(stored);
    if (!mhz || *mhz < lowestMHz || *mhz > highestMHz) {
        emit refused(tr("Scratch memory %1 holds no frequency: store one in it again once the "
                        "receiver's frequency shows.")
                         .arg(QChar(u'A' + slot)));
        return;
    }
    port_.output(commands::frequency(stored));
}

} // namespace rxdeck
