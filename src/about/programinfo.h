// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rxdeck {

// Title and version number of a program, and the texts built from them.
struct ProgramInfo
{
    QString title;
    int major = 0;
    int minor = 0;
    int revision = 0;

    // "major.minor.revision", each number in plain decimal.
    QString versionNumber() const;
    // "Version " followed by the version number.
    QString versionLine() const;
};

// Rxdeck's own title and version.
ProgramInfo rxdeckInfo();

} // namespace rxdeck
