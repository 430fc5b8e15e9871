// Time to encode, write and read memory lists of 100, 1,000 and 10,000 rows of
// (Frequency, Note).

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

BENCHMARK(encodeList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(writeList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(readList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
