// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/workbookstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rxdeck::memories {
namespace {

using Version = FileWorkbookStore::Version;
using Stamp = FileWorkbookStore::Stamp;

const QByteArray stateHeader = QByteArrayLiteral("rxdeck-workbook-state 1");
// A state file is a few lines; anything much longer is not one.
constexpr qint64 maxStateSize = 4096;

struct FileRead
{
    enum class Status
    {
        Read,
        Missing,
        Failed
    };
    Status status = Status::Missing;
    QByteArray bytes;
    QString error;
};

FileRead readWhole(const QString& path, qint64 limit = -1)
{
    QFile file(path);
    if (!file.exists())
        return {FileRead::Status::Missing, {}, {}};
    if (!file.open(QIODevice::ReadOnly))
        return {FileRead::Status::Failed, {}, file.errorString()};
    if (limit >= 0 && file.size() > limit)
        return {FileRead::Status::Failed, {}, QStringLiteral("too large")};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {FileRead::Status::Failed, {}, file.errorString()};
    return {FileRead::Status::Read, std::move(bytes), {}};
}

Version versionOf(const QByteArray& bytes)
{
    return {bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

QByteArray stateText(const std::vector<Version>& outputs)
{
    QByteArray text = stateHeader + '\n';
    for (const Version& output : outputs)
        text += QByteArray::number(output.size) + ' ' + output.sha256.toHex() + '\n';
    return text;
}

// The outputs a state file lists; none when it is missing or not one.
std::vector<Version> parseState(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2 || lines.takeFirst() != stateHeader || !lines.takeLast().isEmpty())
        return {};
    std::vector<Version> outputs;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        bool isNumber = false;
        const qint64 size = fields.value(0).toLongLong(&isNumber);
        const QByteArray hash = QByteArray::fromHex(fields.value(1));
        if (fields.size() != 2 || !isNumber || size < 0 || hash.size() != 32 ||
            hash.toHex() != fields.at(1))
            return {};
        outputs.push_back({size, hash});
    }
    return outputs;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

#if defined(Q_OS_UNIX)
Stamp stampOf(const struct stat& info)
{
    const auto ns = [](const timespec& t) { return qint64{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), ns(info.st_mtim),
            ns(info.st_ctim)};
}
#endif

std::optional<Stamp> stampOf(const QString& path)
{
#if defined(Q_OS_UNIX)
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return stampOf(info);
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

// A file replaced in one step. prepare() writes the new content to a temporary file
// beside it and syncs it to the disk; commit() renames it over the old file. Dropped
// uncommitted, it leaves the old file as it was.
class PendingFile
{
public:
    explicit PendingFile(const QString& path) : file_(path) {}

    bool prepare(const QByteArray& bytes)
    {
        // Unbuffered, so every write reaches the file here: QSaveFile ignores a failure
        // of the flush inside commit() and renames the short file over the old one.
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(reason());
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 written = file_.write(bytes.constData() + done, bytes.size() - done);
            if (written <= 0)
                return fail(reason());
            done += written;
        }
        if (!file_.flush() || file_.error() != QFileDevice::NoError)
            return fail(reason());
#if defined(Q_OS_UNIX)
        // commit() syncs too but ignores the outcome; a quota or a network file system may
        // report the failure only here. Elsewhere commit()'s own sync has to do.
        if (::fsync(file_.handle()) != 0)
            return fail(systemError());
#endif
        return true;
    }

    // The written file's stamp, before commit() renames it.
    std::optional<Stamp> stamp() const
    {
#if defined(Q_OS_UNIX)
        struct stat info;
        if (::fstat(file_.handle(), &info) == 0)
            return stampOf(info);
#endif
        return std::nullopt;
    }

    bool commit()
    {
        if (file_.commit())
            return true;
        error_ = reason();
        return false;
    }

    QString error() const
    {
        return error_;
    }

private:
    QString reason() const
    {
        if (file_.error() == QFileDevice::ResourceError)
            return QStringLiteral("the disk is full");
        return file_.errorString();
    }

    bool fail(const QString& why)
    {
        error_ = why;
        file_.cancelWriting();
        return false;
    }

    QSaveFile file_;
    QString error_;
};

workbook::WriteResult failure(const QString& reason)
{
    return workbook::WriteResult{false, reason};
}

workbook::WriteResult writeFailure(const QString& path, const QString& why)
{
    return failure(
        QStringLiteral("%1 could not be written: %2").arg(QFileInfo(path).fileName(), why));
}

} // namespace

FileWorkbookStore::FileWorkbookStore(QString path) : path_(std::move(path)) {}

QString FileWorkbookStore::fileName() const
{
    return QFileInfo(path_).fileName();
}

QString FileWorkbookStore::statePath() const
{
    const QFileInfo info(path_);
    return info.dir().filePath(QStringLiteral(".%1.rxdeck").arg(info.fileName()));
}

LoadResult FileWorkbookStore::load()
{
    stamp_.reset();
    const FileRead read = readWhole(path_);
    switch (read.status) {
    case FileRead::Status::Missing:
        known_.reset();
        return LoadResult{LoadResult::Status::Missing, {}, {}, true};
    case FileRead::Status::Failed:
        known_ = Version{};
        return LoadResult{LoadResult::Status::Unreadable, {}, read.error, false};
    case FileRead::Status::Read:
        break;
    }
    known_ = versionOf(read.bytes);

    workbook::Document::ParseResult parsed = workbook::Document::parse(read.bytes);
    if (!parsed.document)
        return LoadResult{LoadResult::Status::Unreadable, {}, parsed.error, false};

    // Saving replaces the file through a temporary one beside it, so both the file and
    // its folder must be writable.
    const QFileInfo info(path_);
    const bool writable = info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    return LoadResult{LoadResult::Status::Loaded, std::move(*parsed.document), {}, writable};
}

bool FileWorkbookStore::changedOnDisk() const
{
    const QFileInfo info(path_);
    if (!info.exists())
        return known_.has_value();
    if (!known_ || info.size() != known_->size)
        return true;
    if (stampUnchanged())
        return false;
    // Same size: only the bytes tell.
    const FileRead read = readWhole(path_);
    return read.status != FileRead::Status::Read || versionOf(read.bytes) != *known_;
}

bool FileWorkbookStore::stampUnchanged() const
{
    return stamp_ && stampOf(path_) == stamp_;
}

std::vector<Version> FileWorkbookStore::ownOutputs() const
{
    const FileRead state = readWhole(statePath(), maxStateSize);
    std::vector<Version> outputs =
        state.status == FileRead::Status::Read ? parseState(state.bytes) : std::vector<Version>{};
    outputs.insert(outputs.end(), written_.begin(), written_.end());
    return outputs;
}

workbook::WriteResult FileWorkbookStore::save(const workbook::Document& document)
{
    // The check and the backup use the same bytes, so what is backed up is what was read. A
    // file with the stamp of this store's last save is that save, which needs no backup.
    const bool unchanged = stampUnchanged();
    const FileRead current =
        unchanged ? FileRead{FileRead::Status::Read, {}, {}} : readWhole(path_);
    if (current.status == FileRead::Status::Failed)
        return failure(QStringLiteral("%1 could not be read before saving: %2")
                           .arg(fileName(), current.error));
    std::optional<Version> onDisk;
    if (unchanged)
        onDisk = known_;
    else if (current.status == FileRead::Status::Read)
        onDisk = versionOf(current.bytes);
    if (onDisk != known_)
        return failure(
            QStringLiteral("another program has changed %1 since it was read").arg(fileName()));

    QString why;
    const std::optional<QByteArray> bytes = document.save(&why);
    if (!bytes)
        return failure(why.isEmpty() ? QStringLiteral("the workbook could not be encoded") : why);

    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder))
        return failure(
            QStringLiteral("could not create the folder %1").arg(QDir::toNativeSeparators(folder)));

    // Hashing the new output takes as long as writing it, which mostly waits for the disk: the
    // two go side by side.
    std::future<Version> newVersion =
        std::async(std::launch::async, [output = *bytes] { return versionOf(output); });
    const std::vector<Version> own = ownOutputs();
    const bool foreign = onDisk && std::find(own.begin(), own.end(), *onDisk) == own.end();

    // Everything is written whole before anything replaces a file.
    PendingFile backup(backupPath());
    PendingFile state(statePath());
    PendingFile workbookFile(path_);
    if (foreign && !backup.prepare(current.bytes))
        return failure(QStringLiteral("could not make the backup %1: %2")
                           .arg(QFileInfo(backupPath()).fileName(), backup.error()));
    if (!workbookFile.prepare(*bytes))
        return writeFailure(path_, workbookFile.error());
    // The new output, and the old one while it may still be on disk.
    std::vector<Version> outputs{newVersion.get()};
    if (onDisk && !foreign && *onDisk != outputs.front())
        outputs.push_back(*onDisk);
    if (!state.prepare(stateText(outputs)))
        return writeFailure(statePath(), state.error());

    // The backup first: the workbook may be replaced only once it is safe. The state file
    // next, since it lists both the old and the new output and so is right either way.
    if (foreign && !backup.commit())
        return failure(QStringLiteral("could not make the backup %1: %2")
                           .arg(QFileInfo(backupPath()).fileName(), backup.error()));
    if (!state.commit())
        return writeFailure(statePath(), state.error());
    const std::optional<Stamp> written = workbookFile.stamp();
    stamp_.reset();
    if (!workbookFile.commit())
        return writeFailure(path_, workbookFile.error());

    known_ = outputs.front();
    written_ = outputs;
    // Kept when the file in place is the one written, unchanged since (the same inode, size
    // and modification time), and the rename's change time is a tick after that modification
    // time, which has a fraction of a second: a file system that stamps whole seconds (or
    // two, as FAT does, whose change time is the creation time) could hide a later write.
    const std::optional<Stamp> placed = stampOf(path_);
    if (written && placed && placed->device == written->device && placed->inode == written->inode &&
        placed->size == written->size && placed->modified == written->modified &&
        placed->changed > placed->modified && placed->modified % 1'000'000'000 != 0)
        stamp_ = placed;
    return workbook::WriteResult{true, {}};
}

} // namespace rxdeck::memories
