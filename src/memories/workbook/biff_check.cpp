// Walks every record of a BIFF5/BIFF8 stream and checks the records that carry cell values,
// sheet names, number formats and shared strings against their own stated lengths.

#include "memories/workbook/biff_check.h"

#include <cstdint>
#include <QByteArrayView>
#include <vector>

namespace rxdeck::workbook::biff {
namespace {

constexpr std::uint16_t bof = 0x0809;
constexpr std::uint16_t sst = 0x00FC;
constexpr std::uint16_t continued = 0x003C;
constexpr std::uint16_t filePass = 0x002F;
constexpr std::uint16_t eof = 0x000A;
constexpr std::uint16_t dimensions = 0x0200;

// Records that put a value or a format into one or more cells.
bool isCell(std::uint16_t type)
{
    switch (type) {
    case 0x0201: // BLANK
    case 0x0203: // NUMBER
    case 0x0204: // LABEL
    case 0x0205: // BOOLERR
    case 0x027E: // RK
    case 0x00BD: // MULRK
    case 0x00BE: // MULBLANK
    case 0x00D6: // RSTRING
    case 0x00FD: // LABELSST
    case 0x0006: // FORMULA
        return true;
    default:
        return false;
    }
}

std::uint16_t u16(QByteArrayView bytes, qsizetype pos)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[pos]) |
                                      static_cast<std::uint8_t>(bytes[pos + 1]) << 8);
}

QString damaged()
{
    return QStringLiteral("damaged workbook");
}

// Reads the shared string table, which runs on from the SST record into CONTINUE records.
class StringTableReader
{
public:
    explicit StringTableReader(std::vector<QByteArrayView> parts) : parts_(std::move(parts)) {}

    std::optional<QString> check()
    {
        std::uint32_t total = 0;
        std::uint32_t unique = 0;
        if (!raw32(total) || !raw32(unique))
            return damaged();
        for (std::uint32_t i = 0; i < unique; ++i) {
            std::uint16_t chars = 0;
            std::uint8_t flags = 0;
            if (!raw16(chars) || !raw8(flags))
                return damaged();
            std::uint16_t runs = 0;
            std::uint32_t extension = 0;
            if ((flags & 0x08) != 0 && !raw16(runs))
                return damaged();
            if ((flags & 0x04) != 0 && !raw32(extension))
                return damaged();
            int records = 0;
            if (!characters(chars, (flags & 0x01) != 0, records))
                return damaged();
            // FreeXL misreads the characters of a string that spread over more than two
            // records, silently for two-byte characters.
            if (records > 2)
                return QStringLiteral("workbook holds a text too long to read");
            if (!skip(std::uint64_t{runs} * 4 + extension))
                return damaged();
        }
        return std::nullopt;
    }

private:
    // Moves to the next part when the current one is used up; false at the end of the table.
    bool ensureData()
    {
        while (part_ < parts_.size() && offset_ >= parts_[part_].size()) {
            ++part_;
            offset_ = 0;
        }
        return part_ < parts_.size();
    }

    bool raw8(std::uint8_t& v)
    {
        if (!ensureData())
            return false;
        v = static_cast<std::uint8_t>(parts_[part_][offset_++]);
        return true;
    }

    bool raw16(std::uint16_t& v)
    {
        std::uint8_t lo = 0;
        std::uint8_t hi = 0;
        if (!raw8(lo) || !raw8(hi))
            return false;
        v = static_cast<std::uint16_t>(lo | hi << 8);
        return true;
    }

    bool raw32(std::uint32_t& v)
    {
        std::uint16_t lo = 0;
        std::uint16_t hi = 0;
        if (!raw16(lo) || !raw16(hi))
            return false;
        v = lo | static_cast<std::uint32_t>(hi) << 16;
        return true;
    }

    bool skip(std::uint64_t count)
    {
        while (count > 0) {
            if (!ensureData())
                return false;
            const auto step = std::min<std::uint64_t>(
                count, static_cast<std::uint64_t>(parts_[part_].size() - offset_));
            offset_ += static_cast<qsizetype>(step);
            count -= step;
        }
        return true;
    }

    // Character data: where it runs into the next record, that record starts with a new flags
    // byte giving the width of the characters that follow. Counts the records it touches.
    bool characters(std::uint32_t count, bool wide, int& records)
    {
        bool first = true;
        while (count > 0) {
            if (part_ < parts_.size() && offset_ >= parts_[part_].size()) {
                ++part_;
                offset_ = 0;
                if (part_ >= parts_.size() || parts_[part_].isEmpty())
                    return false;
                wide = (static_cast<std::uint8_t>(parts_[part_][offset_++]) & 0x01) != 0;
                first = true;
            }
            if (part_ >= parts_.size())
                return false;
            const qsizetype size = wide ? 2 : 1;
            const qsizetype available = (parts_[part_].size() - offset_) / size;
            if (available == 0)
                return false; // half a character at the end of a record
            if (first) {
                ++records;
                first = false;
            }
            const auto n = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(available));
            offset_ += static_cast<qsizetype>(n) * size;
            count -= static_cast<std::uint32_t>(n);
        }
        return true;
    }

    std::vector<QByteArrayView> parts_;
    std::size_t part_ = 0;
    qsizetype offset_ = 0;
};

// A text stored as a length followed by characters, at `at` in a record body: BIFF8 puts a
// flags byte (bit 0: two-byte characters) between them, BIFF5 stores one byte per character.
bool textFits(QByteArrayView body, qsizetype at, std::uint32_t length, bool biff8)
{
    if (!biff8)
        return at + length <= body.size();
    if (length == 0)
        return at <= body.size();
    if (at >= body.size())
        return false;
    const qsizetype width = (static_cast<std::uint8_t>(body[at]) & 0x01) != 0 ? 2 : 1;
    return at + 1 + qsizetype{length} * width <= body.size();
}

std::optional<QString> checkRecord(std::uint16_t type, QByteArrayView body, bool biff8)
{
    const qsizetype size = body.size();
    const auto atLeast = [&](qsizetype n) { return size >= n; };
    bool whole = true;
    switch (type) {
    case 0x0085: // BOUNDSHEET: sheet name after offset, state and type
        whole = atLeast(7) && textFits(body, 7, static_cast<std::uint8_t>(body[6]), biff8);
        break;
    case 0x0204: // LABEL
    case 0x00D6: // RSTRING
        whole = atLeast(8) && textFits(body, 8, u16(body, 6), biff8);
        break;
    case 0x0207: // STRING, a formula's text result
        whole = atLeast(2) && textFits(body, 2, u16(body, 0), biff8);
        break;
    case 0x041E: // FORMAT
        if (biff8)
            whole = atLeast(4) && textFits(body, 4, u16(body, 2), biff8);
        else
            whole = atLeast(3) && textFits(body, 3, static_cast<std::uint8_t>(body[2]), biff8);
        break;
    case 0x00BD: // MULRK: row, first column, six bytes per cell, last column
        whole = atLeast(12) && (size - 6) % 6 == 0 && u16(body, size - 2) >= u16(body, 2) &&
                u16(body, size - 2) - u16(body, 2) + 1 == (size - 6) / 6;
        break;
    case 0x0203: // NUMBER
        whole = atLeast(14);
        break;
    case 0x027E: // RK
    case 0x00FD: // LABELSST
        whole = atLeast(10);
        break;
    case 0x0205: // BOOLERR
        whole = atLeast(8);
        break;
    case 0x0006: // FORMULA
        whole = atLeast(20);
        break;
    case 0x0200: // DIMENSIONS
        whole = atLeast(biff8 ? 12 : 8);
        break;
    case 0x00E0: // XF
        whole = atLeast(biff8 ? 20 : 16);
        break;
    case 0x0042: // CODEPAGE
    case 0x0022: // DATEMODE
        whole = atLeast(2);
        break;
    default:
        break;
    }
    if (!whole)
        return damaged();
    return std::nullopt;
}

} // namespace

std::optional<QString> checkStream(const QByteArray& stream)
{
    const QByteArrayView bytes(stream);
    // The stream opens with the workbook's BOF, which tells BIFF5 (0x0500) from BIFF8 (0x0600).
    if (bytes.size() < 8 || u16(bytes, 0) != bof || u16(bytes, 2) < 4)
        return QStringLiteral("not a workbook");
    const std::uint16_t version = u16(bytes, 4);
    if (version != 0x0500 && version != 0x0600)
        return QStringLiteral("not a workbook");
    const bool biff8 = version == 0x0600;

    std::vector<std::pair<std::uint16_t, QByteArrayView>> records;
    qsizetype pos = 0;
    while (pos + 4 <= bytes.size()) {
        const std::uint16_t type = u16(bytes, pos);
        const qsizetype length = u16(bytes, pos + 2);
        if (pos + 4 + length > bytes.size())
            return damaged(); // the last record is cut off
        records.emplace_back(type, bytes.sliced(pos + 4, length));
        pos += 4 + length;
    }

    // FreeXL sizes a sheet's cell table at its DIMENSIONS record; a second one, or one after the
    // first cell, makes it lose track of the cells it already holds. Substreams nest (a chart
    // inside a worksheet), so the state is kept per open BOF.
    struct Substream
    {
        bool dimensions = false;
        bool cells = false;
    };
    std::vector<Substream> open;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& [type, body] = records[i];
        if (type == filePass)
            return QStringLiteral("password protected"); // what follows is encrypted
        if (type == bof) {
            open.emplace_back();
        } else if (type == eof) {
            if (!open.empty())
                open.pop_back();
        } else if (type == dimensions && !open.empty()) {
            if (open.back().dimensions || open.back().cells)
                return damaged();
            open.back().dimensions = true;
        } else if (isCell(type) && !open.empty()) {
            open.back().cells = true;
        }
        if (type == sst && biff8) {
            std::vector<QByteArrayView> parts{body};
            for (std::size_t j = i + 1; j < records.size() && records[j].first == continued; ++j)
                parts.push_back(records[j].second);
            if (std::optional<QString> problem = StringTableReader(std::move(parts)).check())
                return problem;
            continue;
        }
        if (std::optional<QString> problem = checkRecord(type, body, biff8))
            return problem;
    }
    return std::nullopt;
}

} // namespace rxdeck::workbook::biff
