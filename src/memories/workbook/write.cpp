// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding a workbook into an OLE2 compound file and saving it atomically.

#include "memories/workbook/biff8.h"
#include "memories/workbook/workbook.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <memory>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace rxdeck::workbook {
namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

void setError(QString* error, const QString& reason)
{
    if (error != nullptr)
        *error = reason;
}

WriteResult writeFailure(const QString& reason)
{
    return WriteResult{false, reason};
}

} // namespace

std::optional<QByteArray> biff8::compoundFile(const QByteArray& stream, const char* streamName,
                                              QString* error)
{
    const GPtr<GsfOutput> memory(gsf_output_memory_new());
    if (!memory) {
        setError(error, QStringLiteral("not enough memory"));
        return std::nullopt;
    }
    {
        const GPtr<GsfOutfile> container(gsf_outfile_msole_new(memory.get()));
        if (!container) {
            setError(error, QStringLiteral("could not build the workbook file"));
            return std::nullopt;
        }
        const GPtr<GsfOutput> child(gsf_outfile_new_child(container.get(), streamName, FALSE));
        const bool written =
            child &&
            gsf_output_write(child.get(), static_cast<std::size_t>(stream.size()),
                             reinterpret_cast<const guint8*>(stream.constData())) &&
            gsf_output_close(child.get());
        // Closing the container writes the directory and allocation tables into memory.
        const bool closed = gsf_output_close(GSF_OUTPUT(container.get()));
        if (!written || !closed) {
            setError(error, QStringLiteral("could not build the workbook file"));
            return std::nullopt;
        }
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
    const gsf_off_t size = gsf_output_size(memory.get());
    if (bytes == nullptr || size <= 0) {
        setError(error, QStringLiteral("could not build the workbook file"));
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
}

std::optional<QByteArray> encode(const Workbook& book, QString* error)
{
    const std::optional<QByteArray> stream = biff8::workbookStream(book, error);
    if (!stream)
        return std::nullopt;
    return biff8::compoundFile(*stream, "Workbook", error);
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
