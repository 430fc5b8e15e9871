// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/programinfo.h"

#include <QDialog>

namespace rxdeck {

// The About box: the program's icon, title, version line and a short note,
// above an etched separator and an OK button. A fixed-size, modeless dialog
// that deletes itself when closed, by OK or by its close box.
class AboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr, const ProgramInfo& info = rxdeckInfo());
};

} // namespace rxdeck
