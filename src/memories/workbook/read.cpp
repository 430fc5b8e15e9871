// Reading a .xls workbook through FreeXL.

#include "memories/workbook/workbook.h"

#include <freexl.h>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <string_view>

namespace rxdeck::workbook {
namespace {

// FreeXL wants freexl_close() on every handle it hands out, even after a failed open.
struct FreexlCloser
{
    void operator()(const void* handle) const { freexl_close(handle); }
};
using FreexlHandle = std::unique_ptr<const void, FreexlCloser>;

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

} // namespace

ReadResult read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return failure(QStringLiteral("file not found"));
    if (!info.isFile())
        return failure(QStringLiteral("not a workbook"));

    // Every .xls file since Excel 5.0 is an OLE2 compound file; anything else (a CSV or text file
    // renamed, an empty file) is told apart before FreeXL reports a generic error.
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("could not be opened"));
        const QByteArray start = file.read(compoundFileSignature.size());
        if (std::string_view(start.constData(), static_cast<std::size_t>(start.size())) !=
            compoundFileSignature)
            return failure(QStringLiteral("not a workbook"));
    }

    const QByteArray nativePath = QFile::encodeName(path);
    const void* raw = nullptr;
    const int opened = freexl_open(nativePath.constData(), &raw);
    const FreexlHandle handle(raw);

    unsigned int password = FREEXL_UNKNOWN;
    if (handle && freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
        password == FREEXL_BIFF_OBFUSCATED)
        return failure(QStringLiteral("password protected"));
    if (opened != FREEXL_OK)
        return failure(openFailure(opened));

    // FreeXL can report success on a workbook stream it gave up parsing part-way; it then knows
    // no BIFF version and no sheets. Every real workbook has at least one sheet.
    unsigned int version = FREEXL_UNKNOWN;
    unsigned int sheetCount = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_VERSION, &version) != FREEXL_OK ||
        version == FREEXL_UNKNOWN ||
        freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK ||
        sheetCount == 0)
        return failure(QStringLiteral("damaged workbook"));

    Workbook book;
    book.sheets.reserve(sheetCount);
    // Sheet indexes are 16 bits wide in FreeXL's interface.
    for (unsigned int index = 0; index < sheetCount && index <= 0xFFFF; ++index) {
        const auto sheetIndex = static_cast<unsigned short>(index);
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle.get(), sheetIndex, &name) != FREEXL_OK ||
            freexl_select_active_worksheet(handle.get(), sheetIndex) != FREEXL_OK)
            return failure(QStringLiteral("damaged workbook"));
        std::optional<std::vector<std::vector<Cell>>> rows = readCells(handle.get());
        if (!rows)
            return failure(QStringLiteral("damaged workbook"));
        book.sheets.push_back(
            Sheet{name != nullptr ? QString::fromUtf8(name) : QString(), std::move(*rows)});
    }
    return ReadResult{std::move(book), QString()};
}

} // namespace rxdeck::workbook
