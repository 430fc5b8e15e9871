// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/childprocess.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace rxdeck::test {

// Writes `file` with gnumeric's ssconvert from CSV text (UTF-8): one sheet, "Sheet1", saved by
// the exporter `exportType`. Fails (status 127) where ssconvert is not installed.
inline CommandResult workbookFromCsv(const QString& file, const QByteArray& csv,
                                     const char* exportType = "Gnumeric_Excel:excel_biff8")
{
    // ssconvert names the sheet after the CSV file, extension included.
    QTemporaryDir dir;
    QFile source(dir.filePath(QStringLiteral("Sheet1")));
    if (!source.open(QIODevice::WriteOnly) || source.write(csv) != csv.size())
        return {.status = -1,
                .output = {},
                .errors = "cannot write " + source.fileName().toStdString()};
    source.close();
    return runCommand({"ssconvert", "-I", "Gnumeric_stf:stf_csvtab", "-T", exportType,
                       source.fileName().toStdString(), file.toStdString()},
                      {.timeout = 120s});
}

} // namespace rxdeck::test
