#include "memories/list/workbookstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace rxdeck::memories {

FileWorkbookStore::FileWorkbookStore(QString path) : m_path(std::move(path)) {}

QString FileWorkbookStore::fileName() const
{
    return QFileInfo(m_path).fileName();
}

LoadResult FileWorkbookStore::load()
{
    const QFileInfo info(m_path);
    if (!info.exists()) {
        m_foreignFile = false;
        return LoadResult{LoadResult::Status::Missing, {}, {}, true};
    }
    m_foreignFile = true;

    workbook::ReadResult read = workbook::read(m_path);
    if (!read.book)
        return LoadResult{LoadResult::Status::Unreadable, {}, read.error, false};

    // Saving replaces the file through a temporary one beside it, so both the file and
    // its folder must be writable.
    const bool writable = info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    return LoadResult{LoadResult::Status::Loaded, std::move(*read.book), {}, writable};
}

workbook::WriteResult FileWorkbookStore::save(const workbook::Workbook& book)
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return workbook::WriteResult{
            false,
            QStringLiteral("could not create the folder %1").arg(QDir::toNativeSeparators(folder))};

    if (m_foreignFile && !m_backedUp && QFileInfo::exists(m_path)) {
        const workbook::WriteResult backup = makeBackup();
        if (!backup.ok)
            return backup;
    }
    return workbook::write(m_path, book);
}

workbook::WriteResult FileWorkbookStore::makeBackup()
{
    const auto failure = [this](const QString& why) {
        return workbook::WriteResult{false, QStringLiteral("could not make the backup %1: %2")
                                                .arg(QFileInfo(backupPath()).fileName(), why)};
    };

    QFile original(m_path);
    if (!original.open(QIODevice::ReadOnly))
        return failure(original.errorString());
    const QByteArray bytes = original.readAll();
    if (original.error() != QFileDevice::NoError)
        return failure(original.errorString());

    // Replaces an older backup in one step, so a failure never leaves half a copy.
    QSaveFile backup(backupPath());
    if (!backup.open(QIODevice::WriteOnly))
        return failure(backup.errorString());
    if (backup.write(bytes) != bytes.size()) {
        const QString why = backup.errorString();
        backup.cancelWriting();
        return failure(why);
    }
    if (!backup.commit())
        return failure(backup.errorString());

    m_backedUp = true;
    return workbook::WriteResult{true, {}};
}

} // namespace rxdeck::memories
