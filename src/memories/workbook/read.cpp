// Reading a .xls workbook: libgsf opens the compound file, FreeXL decodes the BIFF records.

#include "memories/workbook/biff8.h"
#include "memories/workbook/biff_check.h"
#include "memories/workbook/workbook.h"

#include <algorithm>
#include <freexl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <string_view>

namespace rxdeck::workbook {
namespace {

// FreeXL wants freexl_close() on every handle it hands out, even after a failed open.
struct FreexlCloser
{
    void operator()(const void* handle) const { freexl_close(handle); }
};
using FreexlHandle = std::unique_ptr<const void, FreexlCloser>;

// Larger files are refused before they are loaded; a memory workbook is a few kilobytes.
constexpr qsizetype maxFileSize = qsizetype{256} * 1024 * 1024;

constexpr std::string_view compoundFileSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

QString openFailure(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("could not be opened");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("not enough memory to read it");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("not a workbook");
    default:
        return QStringLiteral("damaged workbook");
    }
}

ReadResult failure(const QString& reason)
{
    return ReadResult{std::nullopt, reason};
}

// Converts one FreeXL cell. Returns nullopt for a type FreeXL does not document.
std::optional<Cell> toCell(const FreeXL_CellValue& value)
{
    switch (value.type) {
    case FREEXL_CELL_NULL:
        return Empty{};
    case FREEXL_CELL_INT:
        return static_cast<double>(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return value.value.double_value;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME: {
        if (value.value.text_value == nullptr || value.value.text_value[0] == '\0')
            return Empty{};
        return QString::fromUtf8(value.value.text_value);
    }
    default:
        return std::nullopt;
    }
}

// Reads the active worksheet. Rows and cells are only materialised up to the last non-empty one,
// so a sheet that declares a large area but holds little costs little memory.
std::optional<std::vector<std::vector<Cell>>> readCells(const void* handle)
{
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_worksheet_dimensions(handle, &rowCount, &columnCount) != FREEXL_OK)
        return std::nullopt;

    std::vector<std::vector<Cell>> rows;
    for (unsigned int r = 0; r < rowCount; ++r) {
        std::vector<Cell> row;
        for (unsigned short c = 0; c < columnCount; ++c) {
            FreeXL_CellValue value{};
            if (freexl_get_cell_value(handle, r, c, &value) != FREEXL_OK)
                return std::nullopt;
            std::optional<Cell> cell = toCell(value);
            if (!cell)
                return std::nullopt;
            if (std::holds_alternative<Empty>(*cell))
                continue;
            row.resize(c + std::size_t{1});
            row[c] = std::move(*cell);
        }
        if (!row.empty()) {
            rows.resize(r + std::size_t{1});
            rows[r] = std::move(row);
        }
    }
    return rows;
}

// Reads every sheet from an opened FreeXL handle; `opened` is what freexl_open returned.
ReadResult readBook(const void* handle, int opened)
{
    unsigned int password = FREEXL_UNKNOWN;
    if (handle != nullptr &&
        freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
        password == FREEXL_BIFF_OBFUSCATED)
        return failure(QStringLiteral("password protected"));
    if (opened != FREEXL_OK)
        return failure(openFailure(opened));

    // FreeXL can report success on a workbook stream it gave up parsing part-way; it then knows
    // no BIFF version and no sheets. Every real workbook has at least one sheet.
    unsigned int version = FREEXL_UNKNOWN;
    unsigned int sheetCount = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_VERSION, &version) != FREEXL_OK ||
        version == FREEXL_UNKNOWN ||
        freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK ||
        sheetCount == 0)
        return failure(QStringLiteral("damaged workbook"));

    Workbook book;
    book.sheets.reserve(sheetCount);
    // Sheet indexes are 16 bits wide in FreeXL's interface.
    for (unsigned int index = 0; index < sheetCount && index <= 0xFFFF; ++index) {
        const auto sheetIndex = static_cast<unsigned short>(index);
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle, sheetIndex, &name) != FREEXL_OK ||
            freexl_select_active_worksheet(handle, sheetIndex) != FREEXL_OK)
            return failure(QStringLiteral("damaged workbook"));
        std::optional<std::vector<std::vector<Cell>>> rows = readCells(handle);
        if (!rows)
            return failure(QStringLiteral("damaged workbook"));
        book.sheets.push_back(
            Sheet{name != nullptr ? QString::fromUtf8(name) : QString(), std::move(*rows)});
    }
    return ReadResult{std::move(book), QString()};
}

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree
{
    void operator()(GError* error) const { g_error_free(error); }
};

struct BiffStream
{
    const char* name; // "Workbook" (BIFF8) or "Book" (BIFF5)
    QByteArray bytes;
};

// Takes the BIFF stream out of a compound file, or says why it cannot.
std::variant<BiffStream, QString> extractBiffStream(const QByteArray& file)
{
    // The memory input borrows `file`, which outlives it.
    const GPtr<GsfInput> input(gsf_input_memory_new(
        reinterpret_cast<const guint8*>(file.constData()), file.size(), FALSE));
    if (!input)
        return QStringLiteral("not enough memory to read it");
    GError* rawError = nullptr;
    const GPtr<GsfInfile> container(gsf_infile_msole_new(input.get(), &rawError));
    const std::unique_ptr<GError, GErrorFree> error(rawError);
    if (!container)
        return QStringLiteral("damaged workbook");

    for (const char* name : {"Workbook", "Book"}) {
        const GPtr<GsfInput> child(gsf_infile_child_by_name(container.get(), name));
        if (!child)
            continue;
        const gsf_off_t size = gsf_input_size(child.get());
        if (size <= 0 || size > maxFileSize)
            return QStringLiteral("damaged workbook");
        QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (gsf_input_read(child.get(), static_cast<std::size_t>(size),
                           reinterpret_cast<guint8*>(bytes.data())) == nullptr)
            return QStringLiteral("damaged workbook");
        return BiffStream{name, std::move(bytes)};
    }
    return QStringLiteral("not a workbook");
}

} // namespace

ReadResult read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return failure(QStringLiteral("file not found"));
    if (!info.isFile())
        return failure(QStringLiteral("not a workbook"));

    QByteArray file;
    {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("could not be opened"));
        if (in.size() > maxFileSize)
            return failure(QStringLiteral("file too large for a workbook"));
        file = in.readAll();
        if (in.error() != QFileDevice::NoError)
            return failure(QStringLiteral("could not be read"));
    }
    // Every .xls file since Excel 5.0 is an OLE2 compound file; anything else (a CSV or text file
    // renamed, an empty file) is told apart here.
    if (std::string_view(file.constData(), static_cast<std::size_t>(std::min<qsizetype>(
                                               file.size(), compoundFileSignature.size()))) !=
        compoundFileSignature)
        return failure(QStringLiteral("not a workbook"));

    // FreeXL's own compound-file parser overruns its buffers on damaged directories, so libgsf
    // takes the BIFF stream out of the file, its records are checked, and FreeXL only ever sees
    // it in a container we built.
    std::variant<BiffStream, QString> extracted = extractBiffStream(file);
    if (const QString* problem = std::get_if<QString>(&extracted))
        return failure(*problem);
    const BiffStream& stream = std::get<BiffStream>(extracted);
    if (std::optional<QString> problem = biff::checkStream(stream.bytes))
        return failure(*problem);
    const std::optional<QByteArray> clean = biff8::compoundFile(stream.bytes, stream.name);
    if (!clean)
        return failure(QStringLiteral("damaged workbook"));
    QTemporaryFile copy;
    if (!copy.open() || copy.write(*clean) != clean->size() || !copy.flush())
        return failure(QStringLiteral("could not be read: no room for a temporary copy"));

    const QByteArray nativePath = QFile::encodeName(copy.fileName());
    const void* raw = nullptr;
    const int opened = freexl_open(nativePath.constData(), &raw);
    const FreexlHandle handle(raw);
    return readBook(handle.get(), opened);
}

} // namespace rxdeck::workbook
