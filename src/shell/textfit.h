// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/writtentexts.h"

#include <QRect>
#include <QStringList>

class QFont;
class QWidget;

namespace rxdeck {

// The rectangle a label, push button or line edit draws its text in.
QRect textRoom(const QWidget* control);

// Every text the control can be given while the program runs, its present one first:
// the handlers' tables name the rest.
QStringList textsShownBy(const QWidget* control, std::span<const WrittenTextTable> tables);

// The panel is laid out for Arial's metrics. Where another face stands in for it,
// captions and readouts can grow wider than their fixed-size controls. This shrinks
// the font of each label, push button and line edit on `panel` until the longest
// text it can show fits; with the designed faces every text fits and nothing
// changes. Returns the names of the controls whose font was made smaller.
QStringList fitPanelTexts(QWidget* panel, std::span<const WrittenTextTable> tables);

} // namespace rxdeck
