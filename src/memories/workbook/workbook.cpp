// SPDX-License-Identifier: GPL-3.0-or-later
// A workbook of plain values: read from a .xls file, encoded as BIFF8 and saved atomically.

#include "memories/workbook/workbook.h"

#include "memories/workbook/biff8.h"
#include "memories/workbook/compound.h"
#include "memories/workbook/document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace rxdeck::workbook {
namespace {

ReadResult readFailure(const QString& reason)
{
    return ReadResult{std::nullopt, reason};
}

WriteResult writeFailure(const QString& reason)
{
    return WriteResult{false, reason};
}

} // namespace

const Sheet* Workbook::sheet(const QString& name) const
{
    for (const Sheet& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

Sheet* Workbook::sheet(const QString& name)
{
    return const_cast<Sheet*>(std::as_const(*this).sheet(name));
}

ReadResult read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return readFailure(QStringLiteral("file not found"));
    if (!info.isFile())
        return readFailure(QStringLiteral("not a workbook"));

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return readFailure(QStringLiteral("could not be opened"));
    if (in.size() > Document::maxFileSize) // refused before it is loaded
        return readFailure(QStringLiteral("file too large for a workbook"));
    const QByteArray file = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return readFailure(QStringLiteral("could not be read"));

    Document::ParseResult parsed = Document::parse(file);
    if (!parsed.document)
        return readFailure(parsed.error);
    return ReadResult{parsed.document->values(), QString()};
}

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
