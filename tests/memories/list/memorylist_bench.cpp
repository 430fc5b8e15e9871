// How long the memory list takes to open and to write one row for a workbook of
// 10,000 memories. Not a test: run it by hand.

#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTemporaryDir>

namespace rxdeck::memories {
namespace {

constexpr int kMemories = 10'000;

// A workbook of kMemories rows, written once per run of the benchmark program.
QString benchWorkbook()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        std::vector<std::vector<workbook::Cell>> rows{
            {QStringLiteral("Frequency"), QStringLiteral("Note")}};
        for (int i = 0; i < kMemories; ++i)
            rows.push_back({0.5 + i * 0.0025, QStringLiteral("station %1, evenings").arg(i)});
        const QString file = dir.filePath(QStringLiteral("Memories.xls"));
        const workbook::WriteResult written = workbook::write(
            file, workbook::Workbook{{workbook::Sheet{QStringLiteral("Sheet1"), std::move(rows)}}});
        if (!written.ok)
            qFatal("cannot write the benchmark workbook: %s", qPrintable(written.error));
        return file;
    }();
    return path;
}

void loadModel(benchmark::State& state)
{
    const QString path = benchWorkbook();
    for (auto _ : state) {
        MemoryListModel model(std::make_unique<FileWorkbookStore>(path));
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(loadModel)->Unit(benchmark::kMillisecond);

void openGrid(benchmark::State& state)
{
    const QString path = benchWorkbook();
    for (auto _ : state) {
        MemoryGrid grid(path);
        grid.resize(289, 545);
        grid.show();
        QApplication::processEvents(); // lays out and paints the visible rows
        benchmark::DoNotOptimize(grid.currentCellText());
    }
}
BENCHMARK(openGrid)->Unit(benchmark::kMillisecond);

void commitOneRow(benchmark::State& state)
{
    MemoryListModel model(std::make_unique<FileWorkbookStore>(benchWorkbook()));
    const QModelIndex note = model.index(kMemories / 2, MemoryListModel::NoteColumn);
    int round = 0;
    for (auto _ : state) {
        model.setData(note, QStringLiteral("changed %1").arg(++round));
        if (!model.commitRow(note.row()).ok)
            state.SkipWithError("commit failed");
    }
}
BENCHMARK(commitOneRow)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace rxdeck::memories

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
