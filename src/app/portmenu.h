// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

namespace rxdeck {

class PortSelection;
struct Controls;

// The "Serial port" menu's items and `Timer12` around a PortSelection: a choice
// goes to the selection, and an open port gets its item's mark and starts the
// settings snapshot. A port that fails to open leaves no item marked and the display
// as at start-up, since no port is open then. The items' tooltips also count the
// replies the link spoiled.
class PortMenu : public QObject
{
    Q_OBJECT
public:
    PortMenu(Controls& ui, PortSelection& selection, QObject* parent = nullptr);

    // A reply came corrupted or incomplete and was ignored.
    void countRejected();

private:
    void onOpened(int n);
    void showCount();
    void onNotAvailable();

    Controls& ui_;
    QStringList toolTips_; // each item's own, by item number
    int rejected_ = 0;
};

} // namespace rxdeck
