// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a few small workbooks as the fuzzer's starting corpus: the memory list, several sheets,
// Unicode text and shared strings long enough to need CONTINUE records.

#include "memories/workbook/workbook.h"

#include <cstdio>
#include <QDir>
#include <QFile>

namespace {

using namespace rxdeck::workbook;

bool save(const QString& dir, const char* name, const Workbook& book)
{
    const std::optional<QByteArray> bytes = encode(book);
    QFile file(QDir(dir).filePath(QString::fromLatin1(name)));
    return bytes && file.open(QIODevice::WriteOnly) && file.write(*bytes) == bytes->size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const Cell frequency = QStringLiteral("Frequency");
    const Cell note = QStringLiteral("Note");

    const Workbook list{
        {{"Sheet1",
          {{frequency, note}, {7.05, QStringLiteral("net")}, {9.41, QStringLiteral("BBC")}}}}};
    const Workbook sheets{
        {{"Sheet1", {{note, Empty{}, frequency}, {QStringLiteral("x"), Empty{}, 14.2}}},
         {"Empty", {}},
         {"Ωmega", {{Empty{}, 1.0}, {}, {-2.5, QStringLiteral("日本")}}}}};
    std::vector<std::vector<Cell>> longRows{{frequency, note}};
    for (int i = 0; i < 60; ++i)
        longRows.push_back({i * 0.5, QString(150, QChar(i % 2 ? u'a' + i % 26 : 0x3042 + i))});
    const Workbook longText{{{"Sheet1", longRows}}};

    const bool ok = save(dir, "list.xls", list) && save(dir, "sheets.xls", sheets) &&
                    save(dir, "longtext.xls", longText);
    if (!ok) {
        std::fprintf(stderr, "could not write the seed workbooks into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
