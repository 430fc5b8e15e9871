// SPDX-License-Identifier: GPL-3.0-or-later
// How long the memory list takes to open and to write one row for a workbook of
// 10,000 memories, Rxdeck's own and gnumeric's with formula columns that depend on the
// frequencies. Not a test: run it by hand.

#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"
#include "support/csvworkbook.h"

#include <benchmark/benchmark.h>
#include <functional>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace rxdeck::memories {
namespace {

constexpr int kMemories = 10'000;

// A workbook of kMemories rows as Rxdeck writes it, made once per run.
QString ownWorkbook()
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

// A workbook of kMemories rows as gnumeric's ssconvert writes it from CSV lines; empty when
// ssconvert is not installed.
QString ssconvertWorkbook(QTemporaryDir& dir, const std::function<QString(int)>& line)
{
    QByteArray csv("Frequency,Note,kHz\n");
    for (int i = 0; i < kMemories; ++i)
        csv += line(i).toUtf8();
    const QString file = dir.filePath(QStringLiteral("Memories.xls"));
    return test::workbookFromCsv(file, csv).ok() ? file : QString();
}

// The memories with a third column of formulas (=A2*1000).
QString foreignWorkbook()
{
    static QTemporaryDir dir;
    static const QString path = ssconvertWorkbook(dir, [](int i) {
        return QStringLiteral("%1,\"station %2, evenings\",=A%3*1000\n")
            .arg(0.5 + i * 0.0025)
            .arg(i)
            .arg(i + 2);
    });
    return path;
}

// A channel plan: the first frequency typed, every other filled down from the one above
// (=A2+0.0025), and the kHz column of formulas beside it. A frequency typed into the first
// row changes all 20,000 results.
QString planWorkbook()
{
    static QTemporaryDir dir;
    static const QString path = ssconvertWorkbook(dir, [](int i) {
        const QString frequency =
            i == 0 ? QStringLiteral("0.5") : QStringLiteral("=A%1+0.0025").arg(i + 1);
        return QStringLiteral("%1,\"station %2, evenings\",=A%3*1000\n")
            .arg(frequency)
            .arg(i)
            .arg(i + 2);
    });
    return path;
}

using WorkbookFile = QString (*)();

// A copy of the workbook of its own, for benchmarks that write it.
QString copyOf(const QString& original, QTemporaryDir& dir)
{
    const QString copy = dir.filePath(QStringLiteral("Memories.xls"));
    return QFile::copy(original, copy) ? copy : QString();
}

void loadModel(benchmark::State& state, WorkbookFile workbookFile)
{
    const QString path = workbookFile();
    if (path.isEmpty()) {
        state.SkipWithError("no workbook");
        return;
    }
    for (auto _ : state) {
        MemoryListModel model(std::make_unique<FileWorkbookStore>(path));
        if (model.memoryCount() != kMemories)
            state.SkipWithError(qPrintable(model.problem()));
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK_CAPTURE(loadModel, own, &ownWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadModel, ssconvert, &foreignWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadModel, plan, &planWorkbook)->Unit(benchmark::kMillisecond);

// Until the first screen of rows is painted.
void openGrid(benchmark::State& state, WorkbookFile workbookFile)
{
    const QString path = workbookFile();
    if (path.isEmpty()) {
        state.SkipWithError("no workbook");
        return;
    }
    for (auto _ : state) {
        MemoryGrid grid(path);
        grid.resize(289, 545);
        grid.show();
        QApplication::processEvents(); // lays out and paints the visible rows
        benchmark::DoNotOptimize(grid.currentCellText());
    }
}
BENCHMARK_CAPTURE(openGrid, own, &ownWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openGrid, ssconvert, &foreignWorkbook)->Unit(benchmark::kMillisecond);

// One changed note written to the file, the check for other programs' saves included.
void commitOneRow(benchmark::State& state, WorkbookFile workbookFile)
{
    QTemporaryDir dir;
    const QString path = workbookFile().isEmpty() ? QString() : copyOf(workbookFile(), dir);
    if (path.isEmpty()) {
        state.SkipWithError("no workbook");
        return;
    }
    MemoryListModel model(std::make_unique<FileWorkbookStore>(path));
    const QModelIndex note = model.index(kMemories / 2, MemoryListModel::NoteColumn);
    int round = 0;
    for (auto _ : state) {
        model.setData(note, QStringLiteral("changed %1").arg(++round));
        if (!model.commitRow(note.row()).ok)
            state.SkipWithError("commit failed");
    }
}
BENCHMARK_CAPTURE(commitOneRow, own, &ownWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(commitOneRow, ssconvert, &foreignWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(commitOneRow, plan, &planWorkbook)->Unit(benchmark::kMillisecond);

// A frequency typed into row `row` and written, with the formulas that depend on it
// calculated again and their results written too.
void commitFrequency(benchmark::State& state, WorkbookFile workbookFile, int row)
{
    QTemporaryDir dir;
    const QString path = workbookFile().isEmpty() ? QString() : copyOf(workbookFile(), dir);
    if (path.isEmpty()) {
        state.SkipWithError("no workbook");
        return;
    }
    MemoryListModel model(std::make_unique<FileWorkbookStore>(path));
    const QModelIndex frequency = model.index(row, MemoryListModel::FreqColumn);
    int round = 0;
    for (auto _ : state) {
        model.setData(frequency, QString::number(1.0 + (++round % 2) * 0.5));
        if (!model.commitRow(frequency.row()).ok)
            state.SkipWithError("commit failed");
    }
    benchmark::DoNotOptimize(model.displayText(kMemories - 1, MemoryListModel::FreqColumn));
}
BENCHMARK_CAPTURE(commitFrequency, ssconvert, &foreignWorkbook, kMemories / 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(commitFrequency, plan, &planWorkbook, 0)->Unit(benchmark::kMillisecond);

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
