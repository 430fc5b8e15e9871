// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The OLE2 compound file around a workbook stream: taking the BIFF stream out, and putting an
// edited one back with every other stream and storage copied byte for byte. Internal to the
// workbook codec.

#include <optional>
#include <QByteArray>
#include <QString>
#include <variant>
#include <vector>

namespace rxdeck::workbook::compound {

struct Stream
{
    QByteArray name; // "Workbook" (BIFF8) or "Book" (BIFF5), as the file spells it
    QByteArray bytes;
};

// The workbook stream of a compound file, or why there is none ("not a workbook", "damaged
// workbook").
std::variant<Stream, QString> workbookStream(const QByteArray& file);

// Every stream of the compound file with its path ("Workbook", "_VBA_PROJECT_CUR/VBA/dir"), in
// directory order; empty for a file that is not one.
std::vector<Stream> streams(const QByteArray& file);

// A compound file holding one stream, the container of every .xls file: "Workbook" for BIFF8,
// "Book" for BIFF5.
std::optional<QByteArray> create(const QByteArray& stream, const char* name = "Workbook",
                                 QString* error = nullptr);

// The compound file with the named top-level stream holding `bytes` instead.
std::optional<QByteArray> replaceStream(const QByteArray& file, const QByteArray& name,
                                        const QByteArray& bytes, QString* error = nullptr);

} // namespace rxdeck::workbook::compound
