// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/workbookpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace rxdeck::memories {

QString memoriesWorkbookPath()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                         QStringLiteral("/Memories.xls");
#ifdef Q_OS_WIN
    adoptLegacyWorkbook(path, QStringLiteral("C:/Program Files/Rxdeck/Memories.xls"));
#endif
    return path;
}

bool adoptLegacyWorkbook(const QString& path, const QString& legacyPath)
{
    if (QFileInfo::exists(path) || !QFileInfo(legacyPath).isFile())
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    if (!QFile::copy(legacyPath, path))
        return false;
    // A file under Program Files may carry a read-only attribute; the copy is the
    // user's own and must be editable.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner |
                                    QFileDevice::WriteUser);
    return true;
}

} // namespace rxdeck::memories
