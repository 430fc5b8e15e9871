// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding a workbook into an OLE2 compound file and saving it atomically.

#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/workbook.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace rxdeck::workbook {
namespace {

WriteResult writeFailure(const QString& reason)
{
    return WriteResult{false, reason};
}

} // namespace

std::optional<QByteArray> encode(const Workbook& book, QString* error)
{
    const std::optional<QByteArray> stream = biff8::workbookStream(book, error);
    if (!stream)
        return std::nullopt;
    return compound::create(*stream, "Workbook", error);
}

WriteResult write(const QString& path, const Workbook& book)
{
    QString reason;
    const std::optional<QByteArray> bytes = encode(book, &reason);
    if (!bytes)
        return writeFailure(reason);

    if (!QFileInfo(path).absoluteDir().exists())
        return writeFailure(QStringLiteral("folder does not exist"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return writeFailure(QStringLiteral("could not be written: %1").arg(file.errorString()));
    if (file.write(*bytes) != bytes->size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return writeFailure(QStringLiteral("could not be written: %1").arg(why));
    }
    if (!file.commit())
        return writeFailure(QStringLiteral("could not be saved: %1").arg(file.errorString()));
    return WriteResult{true, QString()};
}

} // namespace rxdeck::workbook
