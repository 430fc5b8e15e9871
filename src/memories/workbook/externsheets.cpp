// SPDX-License-Identifier: GPL-3.0-or-later
// The sheets that the external-sheet indexes of 3-D references stand for, read from the
// workbook globals (EXTERNSHEET with SUPBOOK in BIFF8, EXTERNSHEET by name in BIFF5).

#include "memories/workbook/formularefs.h"

#include <algorithm>

namespace rxdeck::workbook::formula {
namespace {

using biff::get16;
using biff::get8;

// What a SUPBOOK record stands for.
enum class Book
{
    Own,
    Other,
    Unknown
};

Book supBook(const QByteArray& body)
{
    if (body.size() < 4)
        return Book::Unknown;
    const std::uint16_t marker = get16(body, 2);
    if (marker == 0x0401)
        return Book::Own;
    // Add-in functions (0x3A01), or the length of another workbook's path (DDE, OLE too).
    if (marker == 0x3A01 || (marker >= 0x0001 && marker <= 0x00FF))
        return Book::Other;
    return Book::Unknown;
}

ExternSheets externSheets8(const std::vector<Record>& globals)
{
    std::vector<Book> books;
    std::optional<std::size_t> table;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        if (globals[i].type == biff::type::supBook)
            books.push_back(supBook(globals[i].body));
        if (globals[i].type == biff::type::externSheet) {
            if (table)
                return {}; // one table only
            table = i;
        }
    }
    if (!table)
        return {};
    biff::Reader in(biff::parts(globals, *table)); // a long table goes on in CONTINUE records
    ExternSheets sheets;
    for (int i = 0, count = in.u16(); i < count && in.ok(); ++i) {
        const std::size_t book = in.u16();
        const auto first = static_cast<std::int16_t>(in.u16());
        const auto last = static_cast<std::int16_t>(in.u16());
        if (!in.ok())
            break;
        const Book kind = book < books.size() ? books[book] : Book::Unknown;
        sheets.push_back(kind == Book::Own ? ExternSheet{true, false, first, last}
                                           : ExternSheet{false, kind == Book::Other});
    }
    return sheets;
}

// BIFF5: each EXTERNSHEET names its target after a marker byte: 0x03 and a sheet of this
// workbook, 0x04 this workbook as a whole (references to deleted sheets), 0x01 an encoded
// path elsewhere, ':' add-in functions. Writers differ on whether the length counts the
// marker, so the name runs to the end of the record, at most that length.
ExternSheets externSheets5(const std::vector<Record>& globals)
{
    std::vector<QByteArray> sheetNames;
    for (const Record& record : globals) {
        if (record.type != biff::type::boundSheet)
            continue;
        if (record.body.size() < 7)
            return {};
        sheetNames.push_back(record.body.mid(7, get8(record.body, 6)));
    }
    ExternSheets sheets;
    for (const Record& record : globals) {
        if (record.type != biff::type::externSheet)
            continue;
        ExternSheet sheet;
        const QByteArray& body = record.body;
        if (body.size() >= 2) {
            const QByteArray name = body.mid(2, get8(body, 0));
            switch (get8(body, 1)) {
            case 0x01:
            case 0x3A:
                sheet.otherWorkbook = true;
                break;
            case 0x03: {
                const auto found = std::find(sheetNames.begin(), sheetNames.end(), name);
                if (found != sheetNames.end()) {
                    sheet.ownWorkbook = true;
                    sheet.firstSheet = sheet.lastSheet = int(found - sheetNames.begin());
                }
                break;
            }
            case 0x04:
                sheet.ownWorkbook = name.isEmpty();
                break;
            default:
                break;
            }
        }
        sheets.push_back(sheet);
    }
    return sheets;
}

} // namespace

ExternSheet sheets3d(QByteArrayView rgce, qsizetype at, Biff biff, const ExternSheets& externs)
{
    const int index = static_cast<std::int16_t>(get16(rgce, at));
    if (biff == Biff::V8)
        return get16(rgce, at) < externs.size() ? externs[get16(rgce, at)] : ExternSheet{};
    if (index >= 0)
        return ExternSheet{false, index > 0};
    return ExternSheet{true, false, static_cast<std::int16_t>(get16(rgce, at + 10)),
                       static_cast<std::int16_t>(get16(rgce, at + 12))};
}

ExternSheets externSheets(const std::vector<Record>& globals, Biff biff)
{
    return biff == Biff::V8 ? externSheets8(globals) : externSheets5(globals);
}

} // namespace rxdeck::workbook::formula
