// SPDX-License-Identifier: GPL-3.0-or-later
// libgsf reads and writes the compound file; only the workbook stream is ours.

#include "memories/workbook/compound.h"

#include <array>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <memory>

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
            ok = ok && gsf_output_write(target.get(), static_cast<std::size_t>(content.size()),
                                        reinterpret_cast<const guint8*>(content.constData()));
        }
        ok = gsf_output_close(target.get()) && ok;
        if (!ok)
            return false;
    }
    return true;
}

void collect(GsfInfile* in, const QByteArray& prefix, std::vector<Stream>& out)
{
    const int count = gsf_infile_num_children(in);
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(in, i);
        const GPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (name == nullptr || !child)
            continue;
        const QByteArray path = prefix + name;
        if (isStorage(child.get())) {
            collect(GSF_INFILE(child.get()), path + '/', out);
            continue;
        }
        Stream stream{path, {}};
        if (readAll(child.get(), stream.bytes))
            out.push_back(std::move(stream));
    }
}

// Whether every stream below `in` can be read, as a save must copy each of them.
bool allReadable(GsfInfile* in, int depth = 0)
{
    const int count = gsf_infile_num_children(in);
    for (int i = 0; i < count; ++i) {
        const GPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (!child || depth > 64)
            return false;
        QByteArray bytes;
        if (isStorage(child.get()) ? !allReadable(GSF_INFILE(child.get()), depth + 1)
                                   : !readAll(child.get(), bytes))
            return false;
    }
    return true;
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
    if (!container)
        return QStringLiteral("damaged workbook");
    // Excel names the stream "Workbook" (BIFF8) or "Book" (BIFF5); some writers vary the case.
    // A stream that cannot be read could not be written back as it was.
    if (!allReadable(container.get()))
        return QStringLiteral("damaged workbook");
    const int count = gsf_infile_num_children(container.get());
    for (const char* wanted : {"Workbook", "Book"}) {
        for (int i = 0; i < count; ++i) {
            const char* name = gsf_infile_name_by_index(container.get(), i);
            if (name == nullptr || qstricmp(name, wanted) != 0)
                continue;
            const GPtr<GsfInput> child(gsf_infile_child_by_index(container.get(), i));
            Stream stream{QByteArray(name), {}};
            if (!child || isStorage(child.get()) || !readAll(child.get(), stream.bytes) ||
                stream.bytes.isEmpty())
                return QStringLiteral("damaged workbook");
            return stream;
        }
    }
    return QStringLiteral("not a workbook");
}

std::optional<QByteArray> replaceStream(const QByteArray& file, const QByteArray& name,
                                        const QByteArray& bytes, QString* error)
{
    const auto fail = [error]() -> std::optional<QByteArray> {
        if (error != nullptr)
            *error = QStringLiteral("could not build the workbook file");
        return std::nullopt;
    };
    GPtr<GsfInput> input;
    const GPtr<GsfInfile> container = openContainer(file, input);
    const GPtr<GsfOutput> memory(gsf_output_memory_new());
    if (!container || !memory)
        return fail();
    {
        const GPtr<GsfOutfile> out(gsf_outfile_msole_new(memory.get()));
        if (!out)
            return fail();
        copyClassId(GSF_INPUT(container.get()), out.get());
        const bool copied = copyChildren(container.get(), out.get(), name.constData(), &bytes);
        const bool closed = gsf_output_close(GSF_OUTPUT(out.get()));
        if (!copied || !closed)
            return fail();
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
    const gsf_off_t size = gsf_output_size(memory.get());
    if (data == nullptr || size <= 0)
        return fail();
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace rxdeck::workbook::compound
