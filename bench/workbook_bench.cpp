// SPDX-License-Identifier: GPL-3.0-or-later
// Time to encode, write and read memory lists of 100, 1,000 and 10,000 rows of
// (Frequency, Note), and to parse, edit and save them record by record.

#include "memories/workbook/document.h"
#include "memories/workbook/workbook.h"

#include <benchmark/benchmark.h>
#include <QTemporaryDir>

namespace {

using namespace rxdeck::workbook;

Workbook memoryList(int rows)
{
    Sheet sheet{QStringLiteral("Sheet1"), {{QStringLiteral("Frequency"), QStringLiteral("Note")}}};
    for (int i = 0; i < rows; ++i)
        sheet.rows.push_back({0.5 + i * 0.005, QStringLiteral("Station %1 – evening net").arg(i)});
    return Workbook{{sheet}};
}

void encodeList(benchmark::State& state)
{
    const Workbook book = memoryList(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(encode(book));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void writeList(benchmark::State& state)
{
    const Workbook book = memoryList(static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Memories.xls"));
    for (auto _ : state)
        if (!write(path, book).ok)
            state.SkipWithError("write failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void readList(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Memories.xls"));
    if (!write(path, memoryList(static_cast<int>(state.range(0)))).ok) {
        state.SkipWithError("write failed");
        return;
    }
    for (auto _ : state)
        if (!read(path).book)
            state.SkipWithError("read failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void parseList(benchmark::State& state)
{
    const std::optional<QByteArray> file = encode(memoryList(static_cast<int>(state.range(0))));
    for (auto _ : state)
        if (!Document::parse(*file).document)
            state.SkipWithError("parse failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// One row committed: a note changed and a new row added, then the whole file encoded.
void editAndSaveList(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const Document document = *Document::parse(*encode(memoryList(rows))).document;
    for (auto _ : state) {
        Document edited = document;
        const bool ok = !edited.setCell(0, rows / 2, 1, QStringLiteral("changed note")) &&
                        !edited.setCell(0, rows + 1, 0, 7.05) &&
                        !edited.setCell(0, rows + 1, 1, QStringLiteral("new memory")) &&
                        edited.save().has_value();
        if (!ok)
            state.SkipWithError("edit failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(parseList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(editAndSaveList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(writeList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(readList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
