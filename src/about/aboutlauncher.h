// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/aboutbox.h"

#include <QPointer>

namespace rxdeck {

// Opens the About box on demand. The box is built on first use; while it is
// open, opening it again shows and raises the same window. Once the box has
// been closed (and so deleted), the next opening builds a fresh one.
class AboutLauncher
{
public:
    AboutLauncher() = default;
    AboutLauncher(const AboutLauncher&) = delete;
    AboutLauncher& operator=(const AboutLauncher&) = delete;
    // Deletes a box that is still open.
    ~AboutLauncher();

    // Shows the About box modeless over parent, building it if needed.
    void show(QWidget* parent);

    // The open box, or nullptr when none is loaded.
    AboutBox* box() const { return box_; }

private:
    QPointer<AboutBox> box_;
};

} // namespace rxdeck
