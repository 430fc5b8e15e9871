// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include "memories/list/memorieshelp.h"

namespace rxdeck {

class SerialPort;
struct Controls;
namespace memories {
class MemoryGrid;
} // namespace memories

// The memory list's two handlers: "Select" tunes the receiver to the frequency of the
// grid's current row, and Help > "Memories" shows the help window, built on first use and reused.
class MemoryList : public QObject
{
    Q_OBJECT
public:
    MemoryList(Controls& ui, SerialPort& port, memories::MemoryGrid& grid,
               const QString& workbookFolder, QWidget* window);

    void Command23_Click();
    void mnuMemorieshelp_Click();

    memories::MemoriesHelp* helpWindow() const { return help_; }

signals:
    // Nothing was sent; the sentence says why.
    void refused(const QString& reason);

private:
    SerialPort& port_;
    memories::MemoryGrid& grid_;
    QString workbookFolder_;
    QWidget* window_;
    QPointer<memories::MemoriesHelp> help_;
};

} // namespace rxdeck
