// SPDX-License-Identifier: GPL-3.0-or-later
// libgsf reads and writes the compound file; only the workbook stream is ours.

#include "memories/workbook/compound.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <limits>
#include <map>
#include <memory>
#include <QtEndian>
#include <set>

namespace rxdeck::workbook::compound {
namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree
{
    void operator()(GError* error) const { g_error_free(error); }
};

// Larger streams are refused; a memory workbook is a few kilobytes.
constexpr gsf_off_t maxStreamSize = gsf_off_t{256} * 1024 * 1024;

// The container of a file held in memory; `file` must outlive it.
GPtr<GsfInfile> openContainer(const QByteArray& file, GPtr<GsfInput>& input)
{
    input.reset(gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()), file.size(),
                                     FALSE));
    if (!input)
        return nullptr;
    GError* rawError = nullptr;
    GPtr<GsfInfile> container(gsf_infile_msole_new(input.get(), &rawError));
    const std::unique_ptr<GError, GErrorFree> error(rawError);
    return container;
}

bool isStorage(GsfInput* child)
{
    return GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0;
}

bool readAll(GsfInput* input, QByteArray& out)
{
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0 || size > maxStreamSize)
        return false;
    out = QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    return size == 0 || gsf_input_read(input, static_cast<std::size_t>(size),
                                       reinterpret_cast<guint8*>(out.data())) != nullptr;
}

bool writeAll(GsfOutput* output, const QByteArray& bytes)
{
    return gsf_output_write(output, static_cast<std::size_t>(bytes.size()),
                            reinterpret_cast<const guint8*>(bytes.constData()));
}

// A new compound file in memory, its entries written by fill.
std::optional<QByteArray> build(const std::function<bool(GsfOutfile*)>& fill, QString* error)
{
    const GPtr<GsfOutput> memory(gsf_output_memory_new());
    bool ok = false;
    if (memory) {
        const GPtr<GsfOutfile> out(gsf_outfile_msole_new(memory.get()));
        // Closing the container writes the directory and allocation tables into memory.
        ok = out && fill(out.get());
        ok = out && gsf_output_close(GSF_OUTPUT(out.get())) && ok;
    }
    const guint8* data =
        ok ? gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get())) : nullptr;
    const gsf_off_t size = ok ? gsf_output_size(memory.get()) : 0;
    if (data == nullptr || size <= 0) {
        if (error != nullptr)
            *error = QStringLiteral("could not build the workbook file");
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

void copyClassId(GsfInput* from, GsfOutfile* to)
{
    std::array<guint8, 16> id{};
    if (GSF_IS_INFILE_MSOLE(from) &&
        gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(from), id.data()))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(to), id.data());
}

// Copies every child of `in` into `out`; at the top level the stream named `replaced` gets
// `bytes` instead of its old content.
bool copyChildren(GsfInfile* in, GsfOutfile* out, const char* replaced, const QByteArray* bytes)
{
    const int count = gsf_infile_num_children(in);
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(in, i);
        const GPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (name == nullptr || !child)
            return false;
        const bool storage = isStorage(child.get());
        const GPtr<GsfOutput> target(gsf_outfile_new_child(out, name, storage ? TRUE : FALSE));
        if (!target)
            return false;
        bool ok = true;
        if (storage) {
            copyClassId(child.get(), GSF_OUTFILE(target.get()));
            ok = copyChildren(GSF_INFILE(child.get()), GSF_OUTFILE(target.get()), nullptr, nullptr);
        } else {
            QByteArray content;
            if (replaced != nullptr && qstrcmp(name, replaced) == 0)
                content = *bytes;
            else
                ok = readAll(child.get(), content);
            ok = ok && writeAll(target.get(), content);
        }
        ok = gsf_output_close(target.get()) && ok;
        if (!ok)
            return false;
    }
    return true;
}

// Reads every stream below `in` that can be read; false where one cannot.
bool collect(GsfInfile* in, const QByteArray& prefix, std::vector<Stream>& out, int depth = 0)
{
    bool all = depth <= 64;
    const int count = all ? gsf_infile_num_children(in) : 0;
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(in, i);
        const GPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (name == nullptr || !child) {
            all = false;
            continue;
        }
        Stream stream{prefix + name, {}};
        if (isStorage(child.get()))
            all = collect(GSF_INFILE(child.get()), stream.name + '/', out, depth + 1) && all;
        else if (readAll(child.get(), stream.bytes))
            out.push_back(std::move(stream));
        else
            all = false;
    }
    return all;
}

// The directory of a compound file, read just far enough to find each entry. libgsf writes the
// directory's creation and modification times as zero (or whole seconds), so a save copies them
// from the original entry of the same path.
class Directory
{
public:
    explicit Directory(const QByteArray& file) : file_(file) { readEntries(); }

    // Byte offset of each entry by its path ("" for the root, "Workbook", "Storage/Stream").
    std::map<QByteArray, qsizetype> byPath() const
    {
        std::map<QByteArray, qsizetype> out;
        if (entries_.empty())
            return out;
        out.emplace(QByteArray(), entries_[0]);
        // The sibling trees and the storages below them, from a work list rather than by
        // recursion, as a damaged file may chain thousands of entries.
        std::set<quint32> seen{0};
        std::vector<std::pair<quint32, QByteArray>> pending{{u32(entries_[0] + childOffset), {}}};
        while (!pending.empty()) {
            auto [entry, under] = std::move(pending.back());
            pending.pop_back();
            if (entry >= entries_.size() || !seen.insert(entry).second)
                continue;
            const qsizetype at = entries_[entry];
            const quint16 nameBytes = qFromLittleEndian<quint16>(file_.constData() + at + 64);
            const QByteArray path =
                under + file_.mid(at, std::clamp<qsizetype>(nameBytes - 2, 0, 62));
            out.emplace(path, at);
            pending.emplace_back(u32(at + leftOffset), under);
            pending.emplace_back(u32(at + rightOffset), under);
            if (file_.at(at + 66) == 1) // a storage
                pending.emplace_back(u32(at + childOffset), path + QByteArray("/\0", 2));
        }
        return out;
    }

private:
    static constexpr quint32 lastSector = 0xFFFFFFFA; // numbers from here on mark ends and holes
    static constexpr qsizetype entrySize = 128;
    static constexpr qsizetype leftOffset = 68;
    static constexpr qsizetype rightOffset = 72;
    static constexpr qsizetype childOffset = 76;

    quint32 u32(qsizetype at) const
    {
        return at >= 0 && at + 4 <= file_.size()
                   ? qFromLittleEndian<quint32>(file_.constData() + at)
                   : std::numeric_limits<quint32>::max();
    }

    qsizetype sectorAt(quint32 sector) const
    {
        const qsizetype at = (qsizetype{sector} + 1) * sectorSize_;
        return sector < lastSector && at + sectorSize_ <= file_.size() ? at : -1;
    }

    std::optional<quint32> next(quint32 sector) const
    {
        const quint32 perSector = static_cast<quint32>(sectorSize_ / 4);
        if (sector / perSector >= fat_.size())
            return std::nullopt;
        const qsizetype at = sectorAt(fat_[sector / perSector]);
        if (at < 0)
            return std::nullopt;
        return u32(at + 4 * (sector % perSector));
    }

    void readEntries()
    {
        static const QByteArray magic = QByteArray::fromHex("d0cf11e0a1b11ae1");
        if (file_.size() < 512 || !file_.startsWith(magic))
            return;
        const quint16 shift = qFromLittleEndian<quint16>(file_.constData() + 30);
        if (shift != 9 && shift != 12)
            return;
        sectorSize_ = qsizetype{1} << shift;
        const qsizetype maxSectors = file_.size() / sectorSize_;
        const quint32 fatCount = u32(44);
        if (fatCount > maxSectors)
            return;
        for (int i = 0; i < 109 && fat_.size() < fatCount; ++i)
            fat_.push_back(u32(76 + 4 * i));
        const qsizetype perDifat = sectorSize_ / 4 - 1;
        for (quint32 difat = u32(68); fat_.size() < fatCount;) {
            const qsizetype at = sectorAt(difat);
            if (at < 0)
                return fat_.clear();
            for (qsizetype i = 0; i < perDifat && fat_.size() < fatCount; ++i)
                fat_.push_back(u32(at + 4 * i));
            difat = u32(at + 4 * perDifat);
        }
        std::vector<qsizetype> entries;
        for (quint32 sector = u32(48); sector < lastSector;) {
            const qsizetype at = sectorAt(sector);
            const std::optional<quint32> following = next(sector);
            if (at < 0 || !following ||
                static_cast<qsizetype>(entries.size()) * entrySize / sectorSize_ > maxSectors)
                return;
            for (qsizetype i = 0; i < sectorSize_; i += entrySize)
                entries.push_back(at + i);
            sector = *following;
        }
        entries_ = std::move(entries);
    }

    const QByteArray& file_;
    qsizetype sectorSize_ = 512;
    std::vector<quint32> fat_;
    std::vector<qsizetype> entries_;
};

// Copies the creation and modification times of every entry of `original` into the entry of
// the same path in `written`.
void keepTimestamps(const QByteArray& original, QByteArray& written)
{
    constexpr qsizetype timesOffset = 100;
    constexpr qsizetype timesSize = 16;
    const std::map<QByteArray, qsizetype> from = Directory(original).byPath();
    const std::map<QByteArray, qsizetype> to = Directory(written).byPath();
    for (const auto& [path, at] : to) {
        const auto found = from.find(path);
        if (found != from.end())
            std::memcpy(written.data() + at + timesOffset,
                        original.constData() + found->second + timesOffset, timesSize);
    }
}

} // namespace

std::vector<Stream> streams(const QByteArray& file)
{
    GPtr<GsfInput> input;
    const GPtr<GsfInfile> container = openContainer(file, input);
    std::vector<Stream> out;
    if (container)
        collect(container.get(), {}, out);
    return out;
}

std::variant<Stream, QString> workbookStream(const QByteArray& file)
{
    GPtr<GsfInput> input;
    const GPtr<GsfInfile> container = openContainer(file, input);
    // A stream that cannot be read could not be written back as it was.
    std::vector<Stream> all;
    if (!container || !collect(container.get(), {}, all))
        return QStringLiteral("damaged workbook");
    // Excel names the stream "Workbook" (BIFF8) or "Book" (BIFF5); some writers vary the case.
    for (const char* wanted : {"Workbook", "Book"})
        for (Stream& stream : all)
            if (qstricmp(stream.name.constData(), wanted) == 0) {
                if (stream.bytes.isEmpty())
                    return QStringLiteral("damaged workbook");
                return std::move(stream);
            }
    return QStringLiteral("not a workbook");
}

std::optional<QByteArray> replaceStream(const QByteArray& file, const QByteArray& name,
                                        const QByteArray& bytes, QString* error)
{
    GPtr<GsfInput> input;
    const GPtr<GsfInfile> container = openContainer(file, input);
    std::optional<QByteArray> written = build(
        [&](GsfOutfile* out) {
            if (!container)
                return false;
            copyClassId(GSF_INPUT(container.get()), out);
            return copyChildren(container.get(), out, name.constData(), &bytes);
        },
        error);
    if (written)
        keepTimestamps(file, *written);
    return written;
}

std::optional<QByteArray> create(const QByteArray& stream, const char* name, QString* error)
{
    return build(
        [&](GsfOutfile* out) {
            const GPtr<GsfOutput> child(gsf_outfile_new_child(out, name, FALSE));
            return child && writeAll(child.get(), stream) && gsf_output_close(child.get());
        },
        error);
}

} // namespace rxdeck::workbook::compound
