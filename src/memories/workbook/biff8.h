// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// BIFF8 record writer: the "Workbook" stream of an Excel 97-2003 file, before it is put into its
// OLE2 container. Internal to the workbook codec; tests and the fuzz seed generator use it too.

#include "memories/workbook/biff.h"
#include "memories/workbook/workbook.h"

#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QString>
#include <vector>

namespace rxdeck::workbook::biff8 {

// Record types, shared with the reader.
namespace record = biff::type;

// The default cell format among the built-in XFs.
inline constexpr std::uint16_t defaultCellXf = 15;

// Largest record body; longer data goes on in CONTINUE records.
inline constexpr qsizetype maxRecordBody = 8224;

// Little-endian byte builder for record bodies and whole streams.
class Bytes
{
public:
    Bytes& u8(std::uint8_t v);
    Bytes& u16(std::uint16_t v);
    Bytes& u32(std::uint32_t v);
    Bytes& f64(double v);
    Bytes& raw(const QByteArray& bytes);
    // Characters count on from `from`: UTF-16LE where wide, else one Latin-1 byte each.
    Bytes& chars(const QString& text, bool wide, qsizetype from = 0, qsizetype count = -1);
    // Appends one record: type, body length, body. The body must not exceed maxRecordBody.
    Bytes& record(std::uint16_t type, const QByteArray& body);
    // Overwrites four bytes at pos with v.
    void patchU32(qsizetype pos, std::uint32_t v);

    qsizetype size() const { return data_.size(); }
    const QByteArray& data() const { return data_; }

private:
    QByteArray data_;
};

// Whether a text needs two bytes a character: it is not all Latin-1.
bool needsWideChars(const QString& text);

// Whether a text can be stored in one cell: up to maxLatin1TextLength characters when all are
// Latin-1, else up to maxTextLength.
bool fitsInCell(const QString& text);

// Where a string starts in a shared-string table held as record bodies (the SST, then its
// CONTINUE records): which body, and the offset in it.
struct SharedStringPlace
{
    std::size_t part = 0;
    qsizetype offset = 0;
};
// Appends one string to the last of those bodies, starting new CONTINUE bodies as records
// fill up, by the rules spreadsheet programs read.
SharedStringPlace appendSharedString(std::vector<QByteArray>& parts, const QString& text);

// Checks that the workbook fits BIFF8 and the rules spreadsheet programs apply to it; returns the
// reason it does not, or nullopt when it does.
std::optional<QString> checkWritable(const Workbook& book);

// Builds the Workbook stream: globals (fonts, formats, sheets, shared strings), then one
// substream per sheet. Fails with a reason when checkWritable does.
std::optional<QByteArray> workbookStream(const Workbook& book, QString* error = nullptr);

} // namespace rxdeck::workbook::biff8
