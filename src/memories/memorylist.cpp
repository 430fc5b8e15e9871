// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/memorylist.h"

#include "link/serialport.h"
#include "memories/list/memorieshelp.h"
#include "memories/list/memorygrid.h"
#include "memories/list/selectcommand.h"
#include "shell/appicon.h"
#include "shell/controls.h"

#include <QAction>
#include <QPushButton>

namespace rxdeck {

MemoryList::MemoryList(Controls& ui, SerialPort& port, memories::MemoryGrid& grid,
                       const QString& workbookFolder, QWidget* window)
    : QObject(window), port_(port), grid_(grid), workbookFolder_(workbookFolder), window_(window)
{
    connect(ui.Command[23], &QPushButton::clicked, this, &MemoryList::Command23_Click);
    connect(ui.mnuMemorieshelp, &QAction::triggered, this, &MemoryList::mnuMemorieshelp_Click);
}

void MemoryList::Command23_Click()
{
    if (!port_.portOpen())
        return;
    // The row's frequency, whichever column is current: a note never tunes. Only a
    // value from 0.005 to 30 MHz is sent, and then verbatim.
    const QString frequency = grid_.currentRowFrequency();
    if (const auto line = memories::selectCommandLine(frequency)) {
        port_.output(*line);
        return;
    }
    emit refused(
        frequency.isEmpty()
            ? tr("Nothing to tune: this memory has no frequency.")
            : tr("Nothing to tune: %1 is not a frequency from 0.005 to 30 MHz.").arg(frequency));
}

void MemoryList::mnuMemorieshelp_Click()
{
    if (!help_)
        help_ = new memories::MemoriesHelp(appIcon(), workbookFolder_, window_);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

} // namespace rxdeck
