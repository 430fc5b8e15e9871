// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakestore.h"
#include "memories/list/memorylistmodel.h"
#include "support/csvworkbook.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace rxdeck::memories {
namespace {

using namespace testing;
using workbook::Empty;
using workbook::Sheet;
using Status = LoadResult::Status;

constexpr int Freq = MemoryListModel::FreqColumn;
constexpr int Note = MemoryListModel::NoteColumn;

bool edit(MemoryListModel& model, int row, int column, const QString& value)
{
    return model.setData(model.index(row, column), value);
}

QStringList shownRows(const MemoryListModel& model)
{
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown << model.data(model.index(row, Freq)).toString() + '|' +
                     model.data(model.index(row, Note)).toString();
    return shown;
}

TEST(MemoryListModel, ShowsSheet1ByHeaderNamesWithNumbersInGeneralForm)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German)); // "." stays the point
    auto state = stateWith(Status::Loaded,
                           {Sheet{"Other", {{t("Frequency"), t("Note")}, {1.0, t("wrong sheet")}}},
                            Sheet{"Sheet1",
                                  {{t("Note"), t("Band"), t(" frequency ")},
                                   {t("BBC"), t("49 m"), 6.195},
                                   {t("a"), {}, 14.0},
                                   {t("b"), {}, 0.1 + 0.2},
                                   {t("c"), {}, 1234567.0},
                                   {t("d"), {}, 1e-7},
                                   {-2.5, {}, t("7.050 MHz")},
                                   {t("ragged")},
                                   {},
                                   {Empty{}, t("")}}}}); // empty rows at the end are no memories
    MemoryListModel model(storeFor(state));
    QLocale::setDefault(saved);

    EXPECT_EQ(shownRows(model), QStringList({"6.195|BBC", "14|a", "0.3|b", "1234567|c",
                                             "0.0000001|d", "7.050 MHz|-2.5", "|ragged", "|"}));
    EXPECT_TRUE(model.isNewRow(7));
    EXPECT_EQ(model.data(model.index(0, Freq), Qt::EditRole).toString(), "6.195");
    EXPECT_EQ(model.headerData(Freq, Qt::Horizontal).toString(), "Freq");
    EXPECT_TRUE(model.problem().isEmpty());
}

TEST(MemoryListModel, WritesOnlyTheTypedCellsWhenARowIsCommitted)
{
    auto state = stateWith(Status::Loaded, {Sheet{"Log", {{t("date"), 45000.0}}},
                                            Sheet{"Sheet1",
                                                  {{t("Extra"), t("Frequency"), t("Note")},
                                                   {t("k1"), 7.05, t("40 m")},
                                                   {t("k2"), 14.2, t("20 m")},
                                                   {t("total")}}}});
    MemoryListModel model(storeFor(state));
    EXPECT_EQ(shownRows(model), QStringList({"7.05|40 m", "14.2|20 m", "|", "|"}));

    EXPECT_TRUE(edit(model, 0, Note, "40 m")); // an editor closed unchanged
    EXPECT_EQ(model.pendingRow(), -1);
    ASSERT_TRUE(edit(model, 1, Freq, "14.25"));
    ASSERT_TRUE(edit(model, 1, Note, "20 m SSB"));
    EXPECT_TRUE(model.commitRow(0).ok); // not the changed row
    EXPECT_TRUE(state->saves.empty());
    ASSERT_TRUE(model.commitRow(1).ok);
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(state->saves[0].values().sheets[0].rows, (Rows{{t("date"), 45000.0}}));
    EXPECT_EQ(savedSheet1(*state), (Rows{{t("Extra"), t("Frequency"), t("Note")},
                                         {t("k1"), 7.05, t("40 m")},
                                         {t("k2"), 14.25, t("20 m SSB")},
                                         {t("total")}}));

    // Typing into the row for adding shows another empty row below it at once, and the
    // memory goes into the first sheet row that holds nothing in any column.
    ASSERT_TRUE(edit(model, 3, Freq, "9.5"));
    EXPECT_EQ(shownRows(model).mid(3), QStringList({"9.5|", "|"}));
    ASSERT_TRUE(model.commitRow(3).ok);
    EXPECT_EQ(savedSheet1(*state).back(), (Row{Empty{}, 9.5}));
    EXPECT_EQ(savedSheet1(*state).size(), 5u);
    EXPECT_EQ(shownRows(model).mid(3), QStringList({"9.5|", "|"}));

    // A row for adding left blank is not added.
    ASSERT_TRUE(edit(model, 4, Note, " "));
    ASSERT_TRUE(model.commitRow(4).ok);
    EXPECT_EQ(state->saves.size(), 2u);
    EXPECT_EQ(model.rowCount(), 5);
}

TEST(MemoryListModel, StoresATypedFrequencyAsANumberOnlyWhenItIsOne)
{
    const std::vector<std::pair<const char*, workbook::Cell>> cases{
        {"7.05", 7.05},      {" 7.05 ", 7.05},      {"1e1", 10.0}, {"7.05 MHz", t("7.05 MHz")},
        {"7,05", t("7,05")}, {"1e999", t("1e999")}, {"", Empty{}}, {"   ", Empty{}},
    };
    for (const auto& [typed, stored] : cases) {
        auto state = memoriesState({{1.0, t("x")}});
        MemoryListModel model(storeFor(state));
        ASSERT_TRUE(edit(model, 0, Freq, typed));
        ASSERT_TRUE(edit(model, 0, Note, "123")); // a note stays text
        ASSERT_TRUE(model.commitRow(0).ok);
        EXPECT_EQ(savedSheet1(*state)[1], (Row{stored, t("123")})) << "typed '" << typed << "'";
    }
}

// A cell shows one line, so a note keeps one: a pasted line break becomes a blank.
TEST(MemoryListModel, APastedLineBreakBecomesABlank)
{
    auto state = memoriesState({{1.0, t("x")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Note, "net\r\nevening\nlate\r"));
    EXPECT_EQ(model.displayText(0, Note), "net evening late ");
    ASSERT_TRUE(model.commitRow(0).ok);
    EXPECT_EQ(savedSheet1(*state)[1], (Row{1.0, t("net evening late ")}));
}

// Frequencies filled down by formula follow a typed one; a formula that cannot be calculated
// here shows "?" (so Select sends nothing for it), never its old result.
TEST(MemoryListModel, FormulaFrequenciesFollowATypedOneOrShowThatTheyAreNotCurrent)
{
    QTemporaryDir dir;
    if (!rxdeck::test::workbookFromCsv(dir.filePath("Memories.xls"),
                                       "Frequency,Note\n7.05,a\n=A2+0.005,b\n=INT(LN(A2)*1000),c\n")
             .ok())
        GTEST_SKIP() << "needs ssconvert (gnumeric)";
    MemoryListModel model(std::make_unique<FileWorkbookStore>(dir.filePath("Memories.xls")));
    ASSERT_EQ(shownRows(model), QStringList({"7.05|a", "7.055|b", "1953|c", "|"}));
    ASSERT_TRUE(edit(model, 0, Freq, "14.2"));
    ASSERT_TRUE(model.commitRow(0).ok);
    EXPECT_EQ(shownRows(model), QStringList({"14.2|a", "14.205|b", "?|c", "|"}));
    EXPECT_TRUE(
        model.data(model.index(2, Freq), Qt::ToolTipRole).toString().contains("Not up to date"));

    // Read again, the file says the same: the new result, and a formula to recalculate.
    MemoryListModel again(std::make_unique<FileWorkbookStore>(dir.filePath("Memories.xls")));
    EXPECT_EQ(shownRows(again), QStringList({"14.2|a", "14.205|b", "?|c", "|"}));
}

TEST(MemoryListModel, DeletingWritesAtOnceAndMovesAPendingChangeAlong)
{
    auto state = memoriesState({{1.0, t("a")}, {2.0, t("b")}, {3.0, t("c")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 2, Note, "c2"));
    ASSERT_TRUE(model.removeMemories(0).ok);
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(savedSheet1(*state),
              (Rows{{t("Frequency"), t("Note")}, {2.0, t("b")}, {3.0, t("c")}}));
    EXPECT_EQ(shownRows(model), QStringList({"2|b", "3|c2", "|"}));
    EXPECT_EQ(model.pendingRow(), 1);

    ASSERT_TRUE(model.removeRows(1, 1)); // the changed row goes, with its change
    EXPECT_EQ(model.pendingRow(), -1);
    EXPECT_EQ(shownRows(model), QStringList({"2|b", "|"}));

    ASSERT_TRUE(edit(model, 1, Note, "typed"));
    ASSERT_TRUE(model.removeMemories(1).ok); // the row for adding is only cleared
    EXPECT_EQ(shownRows(model), QStringList({"2|b", "|"}));
    EXPECT_EQ(state->saves.size(), 2u);
}

TEST(MemoryListModel, ASideColumnIsAddedAfterEveryUsedColumnAndMarkedLikeAnyEdit)
{
    auto state = memoriesState({{1.0, t("a"), Empty{}, t("kept")}, {2.0, t("b")}});
    MemoryListModel model(storeFor(state));
    EXPECT_EQ(model.sideColumn("Skip"), -1);
    ASSERT_TRUE(model.setSideCell(1, "Skip", "x").ok);
    const int skip = model.sideColumn("skip");
    EXPECT_EQ(skip, 4); // after the unnamed column in use
    EXPECT_FALSE(model.sideCellFilled(0, skip));
    EXPECT_TRUE(model.sideCellFilled(1, skip));
    ASSERT_TRUE(model.setSideCell(0, "Skip", "x").ok); // the column is found again
    EXPECT_EQ(savedSheet1(*state), (Rows{{t("Frequency"), t("Note"), Empty{}, Empty{}, t("Skip")},
                                         {1.0, t("a"), Empty{}, t("kept"), t("x")},
                                         {2.0, t("b"), Empty{}, Empty{}, t("x")}}));
    EXPECT_EQ(shownRows(model), QStringList({"1|a", "2|b", "|"}));
}

TEST(MemoryListModel, TheFirstRowCreatesSheet1WithItsHeader)
{
    const std::vector<std::pair<const char*, std::shared_ptr<StoreState>>> cases{
        {"no workbook", stateWith(Status::Missing)},
        {"empty Sheet1", stateWith(Status::Loaded, {Sheet{"Sheet1", {}}})},
    };
    for (const auto& [what, state] : cases) {
        SCOPED_TRACE(what);
        MemoryListModel model(storeFor(state));
        EXPECT_EQ(shownRows(model), QStringList({"|"}));
        ASSERT_TRUE(edit(model, 0, Freq, "7.05"));
        ASSERT_TRUE(model.commitRow(0).ok);
        ASSERT_TRUE(edit(model, 1, Note, "next"));
        ASSERT_TRUE(model.commitRow(1).ok);
        EXPECT_EQ(savedSheet1(*state),
                  (Rows{{t("Frequency"), t("Note")}, {7.05}, {Empty{}, t("next")}}));
    }
}

TEST(MemoryListModel, NeverWritesAWorkbookItCannotUse)
{
    auto unreadable = stateWith(Status::Unreadable);
    unreadable->loaded.error = QStringLiteral("not a workbook");
    auto readOnly = memoriesState({{7.05, t("a")}});
    readOnly->loaded.writable = false;
    const std::vector<std::tuple<std::shared_ptr<StoreState>, QString, QStringList>> cases{
        {unreadable, "Memories.xls could not be read: not a workbook", {}},
        {stateWith(Status::Loaded, {Sheet{"Memories", {{t("Frequency"), t("Note")}}}}),
         "Memories.xls has no Sheet1",
         {}},
        {stateWith(Status::Loaded, {Sheet{"Sheet1", {{t("Frequency")}, {1.0}}}}),
         "Sheet1 has no Note column",
         {}},
        {readOnly, "Memories.xls is read-only", {"7.05|a"}}, // shown, no row for adding
    };
    for (const auto& [state, problem, shown] : cases) {
        SCOPED_TRACE(problem.toStdString());
        MemoryListModel model(storeFor(state));
        EXPECT_EQ(model.problem(), problem);
        EXPECT_EQ(shownRows(model), shown);
        EXPECT_FALSE(model.flags(model.index(0, Freq)).testFlag(Qt::ItemIsEditable));
        EXPECT_FALSE(edit(model, 0, Freq, "7"));
        EXPECT_FALSE(model.removeMemories(0).ok);
        EXPECT_TRUE(model.commitPending().ok);
        EXPECT_TRUE(state->saves.empty());
        EXPECT_EQ(state->failedSaves, 0);
    }
}

TEST(MemoryListModel, AFailedSaveReportsOnceKeepsTheChangeAndChangesNothingElse)
{
    auto state = memoriesState({{7.05, t("a")}, {14.2, t("b")}});
    state->failSaves = true;
    MemoryListModel model(storeFor(state));
    QSignalSpy failed(&model, &MemoryListModel::saveFailed);

    ASSERT_TRUE(edit(model, 0, Note, "a2"));
    EXPECT_FALSE(model.commitRow(0).ok);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(),
              "The change could not be saved to Memories.xls (disk full).");
    EXPECT_EQ(model.pendingRow(), 0);
    EXPECT_TRUE(model.pendingCommitFailed());
    model.discardPending(); // given up

    ASSERT_TRUE(edit(model, 2, Freq, "9"));
    EXPECT_FALSE(model.commitRow(2).ok);
    EXPECT_EQ(shownRows(model), QStringList({"7.05|a", "14.2|b", "9|", "|"}));
    model.discardPending();
    EXPECT_FALSE(model.removeMemories(0).ok);
    EXPECT_EQ(shownRows(model), QStringList({"7.05|a", "14.2|b", "|"}));
    EXPECT_EQ(failed.count(), 3);

    // The next good write carries none of the failed attempts.
    state->failSaves = false;
    ASSERT_TRUE(edit(model, 1, Note, "b2"));
    ASSERT_TRUE(model.commitRow(1).ok);
    EXPECT_EQ(savedSheet1(*state),
              (Rows{{t("Frequency"), t("Note")}, {7.05, t("a")}, {14.2, t("b2")}}));
}

// Another program saves the workbook while a row is being edited: the edit lands on
// the same memory in the new version, or, where that memory changed too, stays in the
// list unwritten with one message.
TEST(MemoryListModel, APendingRowGoesOnTopOfAnotherProgramsSave)
{
    struct Case
    {
        const char* what;
        int row;
        int column;
        const char* typed;
        Rows theirs;
        std::optional<Rows> saved; // nullopt: nothing written
    };
    const Rows ours{{7.05, t("a")}, {14.2, t("b")}};
    const std::vector<Case> cases{
        {"row added at the end",
         1,
         Note,
         "mine",
         {{7.05, t("a")}, {14.2, t("b")}, {21.0, t("c")}},
         Rows{{7.05, t("a")}, {14.2, t("mine")}, {21.0, t("c")}}},
        {"row inserted above",
         1,
         Note,
         "mine",
         {{1.0, t("new")}, {7.05, t("a")}, {14.2, t("b")}},
         Rows{{1.0, t("new")}, {7.05, t("a")}, {14.2, t("mine")}}},
        {"other cell of the row changed",
         0,
         Freq,
         "7.1",
         {{7.05, t("A")}, {14.2, t("b")}},
         std::nullopt},
        {"row deleted", 0, Note, "mine", {{14.2, t("b")}}, std::nullopt},
        {"new memory",
         2,
         Freq,
         "9",
         {{1.0, t("x")}, {2.0, t("y")}, {3.0, t("z")}},
         Rows{{1.0, t("x")}, {2.0, t("y")}, {3.0, t("z")}, {9.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto state = memoriesState(ours);
        MemoryListModel model(storeFor(state));
        QSignalSpy failed(&model, &MemoryListModel::saveFailed);
        ASSERT_TRUE(edit(model, c.row, c.column, c.typed));
        savedElsewhere(*state, c.theirs);
        EXPECT_FALSE(model.reloadIfChanged()); // not while a row is being edited

        const bool ok = model.commitPending().ok;
        if (c.saved) {
            ASSERT_TRUE(ok);
            Rows expected = *c.saved;
            expected.insert(expected.begin(), Row{t("Frequency"), t("Note")});
            EXPECT_EQ(savedSheet1(*state), expected);
            EXPECT_EQ(failed.count(), 0);
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_TRUE(state->saves.empty());
        EXPECT_EQ(failed.count(), 1);
        // The other program's version shows; the typing never lands on another memory but
        // waits in a new row at the end, with the values it was typed over, and leaving that
        // row saves it as a new memory.
        EXPECT_EQ(model.memoryCount(), static_cast<int>(c.theirs.size()));
        EXPECT_EQ(model.pendingRow(), model.memoryCount());
        EXPECT_EQ(model.displayText(model.pendingRow(), c.column), c.typed);
        EXPECT_TRUE(failed.at(0).at(0).toString().contains("\"7.05 a\""));
        ASSERT_TRUE(model.commitPending().ok);
        Rows expected = c.theirs;
        expected.insert(expected.begin(), Row{t("Frequency"), t("Note")});
        expected.push_back(c.column == Freq ? Row{7.1, t("a")} : Row{7.05, t("mine")});
        EXPECT_EQ(savedSheet1(*state), expected);
    }
}

TEST(MemoryListModel, ADeleteFindsItsRowInAnotherProgramsSaveOrIsRefused)
{
    auto state = memoriesState({{7.05, t("a")}, {14.2, t("b")}});
    MemoryListModel model(storeFor(state));
    QSignalSpy failed(&model, &MemoryListModel::saveFailed);
    savedElsewhere(*state, {{1.0, t("new")}, {7.05, t("a")}, {14.2, t("b")}});
    ASSERT_TRUE(model.removeMemories(1).ok);
    EXPECT_EQ(savedSheet1(*state),
              (Rows{{t("Frequency"), t("Note")}, {1.0, t("new")}, {7.05, t("a")}}));

    savedElsewhere(*state, {{1.0, t("new")}, {7.05, t("changed")}});
    EXPECT_FALSE(model.removeMemories(1).ok);
    EXPECT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(shownRows(model), QStringList({"1|new", "7.05|changed", "|"}));
}

// A pending row goes on top of another program's save of the real file.
TEST(MemoryListModel, FollowsAnotherProgramsSavesOfTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Memories.xls"));
    const auto saveElsewhere = [&path](Rows memories) {
        const auto bytes = documentOf({memoriesSheet(std::move(memories))}).save();
        QSaveFile file(path); // written beside and renamed over, as spreadsheet programs do
        return bytes && file.open(QIODevice::WriteOnly) && file.write(*bytes) == bytes->size() &&
               file.commit();
    };
    ASSERT_TRUE(saveElsewhere({{7.05, t("a")}, {14.2, t("b")}}));
    MemoryListModel model(std::make_unique<FileWorkbookStore>(path));
    ASSERT_TRUE(edit(model, 0, Note, "mine"));
    ASSERT_TRUE(saveElsewhere({{1.0, t("x")}, {7.05, t("a")}, {14.2, t("b")}}));
    ASSERT_TRUE(model.commitPending().ok);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto parsed = workbook::Document::parse(file.readAll());
    ASSERT_TRUE(parsed.document) << parsed.error.toStdString();
    EXPECT_EQ(
        parsed.document->values().sheet(QStringLiteral("Sheet1"))->rows,
        (Rows{{t("Frequency"), t("Note")}, {1.0, t("x")}, {7.05, t("mine")}, {14.2, t("b")}}));
}

} // namespace
} // namespace rxdeck::memories
