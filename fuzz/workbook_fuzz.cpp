// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the workbook reading path. Each input is saved as a file and read; a
// workbook that reads must then survive encode() and read back unchanged, so the writer is
// exercised on whatever the reader accepts.

#include "memories/workbook/workbook.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using rxdeck::workbook::Workbook;

bool saveAs(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool sameBook(const Workbook& a, const Workbook& b)
{
    if (a.sheets.size() != b.sheets.size())
        return false;
    for (std::size_t i = 0; i < a.sheets.size(); ++i)
        if (a.sheets[i].name != b.sheets[i].name || a.sheets[i].rows != b.sheets[i].rows)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One scratch folder for the whole run; FreeXL reads only from files.
    static const QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    const QString input = dir.filePath(QStringLiteral("input.xls"));
    const QString again = dir.filePath(QStringLiteral("again.xls"));

    if (!saveAs(input,
                QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))))
        std::abort();
    const rxdeck::workbook::ReadResult first = rxdeck::workbook::read(input);
    if (!first.book) {
        if (first.error.isEmpty())
            std::abort(); // a failed read must say why
        return 0;
    }

    const std::optional<QByteArray> encoded = rxdeck::workbook::encode(*first.book);
    if (!encoded)
        return 0; // refusing to write (bad sheet name, too much data) is allowed
    if (!saveAs(again, *encoded))
        std::abort();
    const rxdeck::workbook::ReadResult second = rxdeck::workbook::read(again);
    if (!second.book || !sameBook(*first.book, *second.book))
        std::abort(); // what we write must read back as what we read
    return 0;
}
