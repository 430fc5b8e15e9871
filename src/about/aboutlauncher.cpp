// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/aboutlauncher.h"

namespace rxdeck {

AboutLauncher::~AboutLauncher()
{
    delete box_.data();
}

void AboutLauncher::show(QWidget* parent)
{
    if (!box_)
        box_ = new AboutBox(parent);
    box_->show();
    box_->raise();
    box_->activateWindow();
}

} // namespace rxdeck
