// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QObject>

class QAction;

namespace rxdeck {

class PortSelection;

// The "Serial port" menu's "Open at start": while it is checked the settings remember
// the port opened last, and the next start opens it again, so programs served over the
// network find the receiver without a hand on the menu. Unchecked, nothing is kept.
class StartPort : public QObject
{
    Q_OBJECT
public:
    StartPort(QAction& item, PortSelection& selection, QObject* parent = nullptr);

    // The port to open at start, 1..4, if one is remembered.
    static std::optional<int> remembered();

private:
    void onToggled(bool checked);
    void onOpened(int n);

    int open_ = 0; // the port opened last, 0 before any
};

} // namespace rxdeck
