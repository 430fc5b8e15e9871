// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/portmenu.h"

#include "link/portselection.h"
#include "shell/controls.h"
#include "shell/restingdisplay.h"

#include <QAction>
#include <QTimer>

namespace rxdeck {

PortMenu::PortMenu(Controls& ui, PortSelection& selection, QObject* parent)
    : QObject(parent), ui_(ui)
{
    for (const QAction* item : ui.Comm)
        toolTips_ << (item ? item->toolTip() : QString());
    for (int n = 1; n < int(ui.Comm.size()); ++n) {
        QAction* item = ui.Comm[std::size_t(n)];
        connect(item, &QAction::triggered, &selection, [&selection, item, n](bool checked) {
            // A checkable item toggles itself when chosen; the marks are ours to set.
            item->setChecked(!checked);
            selection.Comm_Click(n);
        });
    }
    connect(&selection, &PortSelection::opening, ui.Timer[12], &QTimer::stop);
    connect(&selection, &PortSelection::opened, this, &PortMenu::onOpened);
    connect(&selection, &PortSelection::portNotAvailable, this, &PortMenu::onNotAvailable);
}

void PortMenu::onNotAvailable()
{
    for (std::size_t item = 1; item < ui_.Comm.size(); ++item)
        ui_.Comm[item]->setChecked(false);
    showNoPort(ui_);
}

void PortMenu::onOpened(int n)
{
    for (std::size_t item = 1; item < ui_.Comm.size(); ++item)
        ui_.Comm[item]->setChecked(int(item) == n);
    ui_.Timer[12]->start();
}

void PortMenu::countRejected()
{
    ++rejected_;
    showCount();
}

void PortMenu::showCount()
{
    for (std::size_t item = 1; item < ui_.Comm.size(); ++item)
        ui_.Comm[item]->setToolTip(
            toolTips_[qsizetype(item)] +
            QStringLiteral("\n%1 corrupt or incomplete replies ignored").arg(rejected_));
}

} // namespace rxdeck
