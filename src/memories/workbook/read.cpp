// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a .xls file from disk into values.

#include "memories/workbook/document.h"
#include "memories/workbook/workbook.h"

#include <QFile>
#include <QFileInfo>

namespace rxdeck::workbook {
namespace {

// Larger files are refused before they are loaded; a memory workbook is a few kilobytes.
constexpr qsizetype maxFileSize = qsizetype{256} * 1024 * 1024;

ReadResult failure(const QString& reason)
{
    return ReadResult{std::nullopt, reason};
}

} // namespace

ReadResult read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return failure(QStringLiteral("file not found"));
    if (!info.isFile())
        return failure(QStringLiteral("not a workbook"));

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("could not be opened"));
    if (in.size() > maxFileSize)
        return failure(QStringLiteral("file too large for a workbook"));
    const QByteArray file = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return failure(QStringLiteral("could not be read"));

    Document::ParseResult parsed = Document::parse(file);
    if (!parsed.document)
        return failure(parsed.error);
    return ReadResult{parsed.document->values(), QString()};
}

} // namespace rxdeck::workbook
