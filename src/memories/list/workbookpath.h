// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rxdeck::memories {

// The memory workbook, "Memories.xls" in the program's data folder
// (QStandardPaths::AppDataLocation). On Windows, when that file does not exist yet
// and an earlier installation left one in "C:\Program Files\Rxdeck", that one is
// copied there first, so the user's memories carry over.
QString memoriesWorkbookPath();

// Copies legacyPath to path when path does not exist and legacyPath does, creating
// path's folder. The copy is made writable for the user; the original is never moved
// or changed. Returns true when a copy was made.
bool adoptLegacyWorkbook(const QString& path, const QString& legacyPath);

} // namespace rxdeck::memories
