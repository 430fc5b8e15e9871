#include "fakestore.h"
#include "memories/list/memorylistmodel.h"

#include <gtest/gtest.h>
#include <QLocale>
#include <QSignalSpy>

namespace rxdeck::memories {
namespace {

using namespace testing;
using workbook::Cell;
using workbook::Empty;

constexpr int Freq = MemoryListModel::FreqColumn;
constexpr int Note = MemoryListModel::NoteColumn;

const workbook::Sheet& savedSheet1(const StoreState& state)
{
    const workbook::Sheet* found = state.saves.back().sheet(QStringLiteral("Sheet1"));
    EXPECT_NE(found, nullptr);
    return *found;
}

bool edit(MemoryListModel& model, int row, int column, const QString& value)
{
    return model.setData(model.index(row, column), value);
}

TEST(MemoryListModelDisplay, FreqShowsGeneralNumberWithAPointWhateverTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    struct Case
    {
        Cell cell;
        QString shown;
    };
    const std::vector<Case> cases{
        {7.05, "7.05"},      {14.0, "14"},
        {0.1 + 0.2, "0.3"},                          // no representation error shown
        {0.005, "0.005"},    {1234567.0, "1234567"}, // no digit grouping
        {1e-7, "0.0000001"},                         // no exponent
        {-3.5, "-3.5"},      {text("7.050 MHz"), "7.050 MHz"},
        {Empty{}, ""},
    };
    std::vector<Row> rows;
    for (const Case& c : cases)
        rows.push_back({c.cell, c.cell});
    MemoryListModel model(storeFor(memoriesState(rows)));
    QLocale::setDefault(saved);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(model.data(model.index(row, Freq)).toString(), cases[i].shown) << "row " << row;
        EXPECT_EQ(model.data(model.index(row, Note)).toString(), cases[i].shown) << "row " << row;
        // The editor starts from the text the cell shows.
        EXPECT_EQ(model.data(model.index(row, Freq), Qt::EditRole).toString(), cases[i].shown);
    }
}

TEST(MemoryListModelDisplay, FindsFieldsByHeaderInAnyColumnAndKeepsSheetOrder)
{
    auto state = loadedState({
        sheet("Other", {{text("Frequency"), text("Note")}, {1.0, text("wrong sheet")}}),
        sheet("Sheet1", {{text("Note"), text("Band"), text(" frequency ")},
                         {text("BBC"), text("49 m"), 6.195},
                         {text("ragged")},
                         {text("WWV"), Empty{}, 10.0},
                         {},
                         {Empty{}, text("")}}), // empty rows at the end are no memories
    });
    MemoryListModel model(storeFor(state));

    ASSERT_EQ(model.memoryCount(), 3);
    ASSERT_EQ(model.rowCount(), 4); // plus the row for adding
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(Freq, Qt::Horizontal).toString(), "Freq");
    EXPECT_EQ(model.headerData(Note, Qt::Horizontal).toString(), "Note");
    const QStringList shown{model.displayText(0, Freq), model.displayText(0, Note),
                            model.displayText(1, Freq), model.displayText(1, Note),
                            model.displayText(2, Freq), model.displayText(2, Note),
                            model.displayText(3, Freq), model.displayText(3, Note)};
    EXPECT_EQ(shown, QStringList({"6.195", "BBC", "", "ragged", "10", "WWV", "", ""}));
    EXPECT_TRUE(model.isNewRow(3));
    EXPECT_TRUE(model.isEditable());
    EXPECT_TRUE(model.problem().isEmpty());
}

TEST(MemoryListModelEdit, NothingIsWrittenUntilTheRowIsCommitted)
{
    auto state = memoriesState({{7.05, text("40 m")}, {14.2, text("20 m")}});
    MemoryListModel model(storeFor(state));

    ASSERT_TRUE(edit(model, 1, Freq, "14.23"));
    ASSERT_TRUE(edit(model, 1, Note, "20 m SSB"));
    EXPECT_TRUE(state->saves.empty());
    EXPECT_EQ(model.pendingRow(), 1);
    EXPECT_EQ(model.displayText(1, Freq), "14.23");
    EXPECT_FALSE(model.headerData(1, Qt::Vertical).toString().isEmpty()); // marked as changed

    EXPECT_TRUE(model.commitRow(0).ok); // not the changed row: nothing to do
    EXPECT_TRUE(state->saves.empty());

    ASSERT_TRUE(model.commitRow(1).ok);
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(model.pendingRow(), -1);
    const auto& rows = savedSheet1(*state).rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (Row{14.23, text("20 m SSB")}));
    EXPECT_EQ(rows[1], (Row{7.05, text("40 m")}));
    EXPECT_TRUE(model.headerData(1, Qt::Vertical).toString().isEmpty());
}

TEST(MemoryListModelEdit, TypedFrequencyBecomesANumberOnlyWhenItIsOne)
{
    struct Case
    {
        const char* typed;
        Cell freq;
    };
    const std::vector<Case> cases{
        {"7.05", 7.05},
        {" 7.05 ", 7.05},
        {"-1", -1.0},
        {"1e1", 10.0},
        {"7.05 MHz", text("7.05 MHz")},
        {"7,05", text("7,05")},
        {"1e999", text("1e999")},
        {"abc", text("abc")},
        {"", Empty{}},
        {"   ", Empty{}},
    };
    for (const Case& c : cases) {
        auto state = memoriesState({{1.0, text("x")}});
        MemoryListModel model(storeFor(state));
        ASSERT_TRUE(edit(model, 0, Freq, QString::fromUtf8(c.typed)));
        ASSERT_TRUE(model.commitRow(0).ok);
        ASSERT_EQ(state->saves.size(), 1u);
        EXPECT_EQ(savedSheet1(*state).rows[1][0], c.freq) << "typed '" << c.typed << "'";
    }

    // A note is text even when it looks like a number.
    auto state = memoriesState({{1.0, text("x")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Note, "123"));
    ASSERT_TRUE(model.commitRow(0).ok);
    EXPECT_EQ(savedSheet1(*state).rows[1][1], text("123"));
}

TEST(MemoryListModelEdit, CommitRewritesTheWholeWorkbookKeepingEverythingElse)
{
    auto state = loadedState({
        sheet("Log", {{text("date"), 45000.0}}),
        sheet("Sheet1", {{text("Extra"), text("Frequency"), text("Note")},
                         {text("keep me"), 7.05, text("40 m")}}),
    });
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Note, "40 m CW"));
    ASSERT_TRUE(model.commitRow(0).ok);

    ASSERT_EQ(state->saves.size(), 1u);
    const workbook::Workbook& saved = state->saves.back();
    ASSERT_EQ(saved.sheets.size(), 2u);
    EXPECT_EQ(saved.sheets[0].name, "Log");
    EXPECT_EQ(saved.sheets[0].rows, (std::vector<Row>{{text("date"), 45000.0}}));
    EXPECT_EQ(saved.sheets[1].rows[1], (Row{text("keep me"), 7.05, text("40 m CW")}));
}

TEST(MemoryListModelEdit, AnEditorClosedWithoutChangeLeavesNothingToWrite)
{
    auto state = memoriesState({{7.05, text("40 m")}});
    MemoryListModel model(storeFor(state));
    EXPECT_TRUE(edit(model, 0, Freq, "7.05"));
    EXPECT_TRUE(edit(model, 0, Note, "40 m"));
    EXPECT_EQ(model.pendingRow(), -1);
    EXPECT_TRUE(model.commitPending().ok);
    EXPECT_TRUE(state->saves.empty());
}

TEST(MemoryListModelEdit, EditingAnotherRowCommitsTheChangedOneFirst)
{
    auto state = memoriesState({{7.05, text("a")}, {14.2, text("b")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Note, "a2"));
    ASSERT_TRUE(edit(model, 1, Note, "b2"));
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(savedSheet1(*state).rows[1][1], text("a2"));
    EXPECT_EQ(savedSheet1(*state).rows[2][1], text("b"));
    EXPECT_EQ(model.pendingRow(), 1);
}

TEST(MemoryListModelEdit, RevertDropsThePendingChange)
{
    auto state = memoriesState({{7.05, text("a")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Note, "changed"));
    model.revert();
    EXPECT_EQ(model.pendingRow(), -1);
    EXPECT_EQ(model.displayText(0, Note), "a");
    EXPECT_TRUE(model.commitPending().ok);
    EXPECT_TRUE(state->saves.empty());
}

TEST(MemoryListModelAdd, TypingInTheNewRowAppendsAMemoryAndANewEmptyRow)
{
    auto state = memoriesState({{7.05, text("a")}});
    MemoryListModel model(storeFor(state));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_TRUE(edit(model, 1, Note, "new"));
    ASSERT_TRUE(edit(model, 1, Freq, "9.5"));
    EXPECT_EQ(model.rowCount(), 2); // not added before the commit
    ASSERT_TRUE(model.commitRow(1).ok);

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 2);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.memoryCount(), 2);
    EXPECT_EQ(model.displayText(1, Freq), "9.5");
    EXPECT_TRUE(model.isNewRow(2));
    EXPECT_EQ(model.displayText(2, Note), "");
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(savedSheet1(*state).rows.back(), (Row{9.5, text("new")}));
}

TEST(MemoryListModelAdd, NewRowPlacesCellsUnderTheirHeaders)
{
    auto state = loadedState(
        {sheet("Sheet1", {{text("Note"), Empty{}, text("Frequency")}, {text("x"), Empty{}, 1.0}})});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 1, Freq, "3.33"));
    ASSERT_TRUE(model.commitRow(1).ok);
    EXPECT_EQ(savedSheet1(*state).rows.back(), (Row{Empty{}, Empty{}, 3.33}));
}

TEST(MemoryListModelAdd, ANewRowLeftEmptyIsNotAdded)
{
    auto state = memoriesState({{7.05, text("a")}});
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 1, Freq, "7"));
    ASSERT_TRUE(edit(model, 1, Freq, " "));
    ASSERT_EQ(model.pendingRow(), 1);
    EXPECT_TRUE(model.commitRow(1).ok);
    EXPECT_TRUE(state->saves.empty());
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.pendingRow(), -1);
}

TEST(MemoryListModelDelete, DeletingWritesAtOnceAndTheNewRowOnlyClears)
{
    auto state = memoriesState({{1.0, text("a")}, {2.0, text("b")}, {3.0, text("c")}});
    MemoryListModel model(storeFor(state));

    ASSERT_TRUE(model.removeMemories(1).ok);
    ASSERT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(
        savedSheet1(*state).rows,
        (std::vector<Row>{{text("Frequency"), text("Note")}, {1.0, text("a")}, {3.0, text("c")}}));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.displayText(1, Note), "c");

    ASSERT_TRUE(edit(model, 2, Note, "typed"));
    ASSERT_TRUE(model.removeRows(2, 1));
    EXPECT_EQ(state->saves.size(), 1u);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.displayText(2, Note), "");
    EXPECT_EQ(model.pendingRow(), -1);
}

TEST(MemoryListModelDelete, APendingChangeFollowsItsRowOrGoesWithIt)
{
    auto state = memoriesState({{1.0, text("a")}, {2.0, text("b")}, {3.0, text("c")}});
    MemoryListModel model(storeFor(state));

    ASSERT_TRUE(edit(model, 2, Note, "c2"));
    // Deleting an earlier row writes without the pending change, which moves up.
    ASSERT_TRUE(model.removeMemories(0).ok);
    EXPECT_EQ(savedSheet1(*state).rows.back(), (Row{3.0, text("c")}));
    EXPECT_EQ(model.pendingRow(), 1);
    EXPECT_EQ(model.displayText(1, Note), "c2");

    // Deleting the changed row drops its change.
    ASSERT_TRUE(model.removeMemories(1).ok);
    EXPECT_EQ(model.pendingRow(), -1);
    EXPECT_EQ(savedSheet1(*state).rows.size(), 2u);
}

TEST(MemoryListModelFaults, NoWorkbookYetGivesAnEmptyListAndTheFirstRowCreatesIt)
{
    auto state = missingState();
    MemoryListModel model(storeFor(state));
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_TRUE(model.isNewRow(0));
    EXPECT_TRUE(model.isEditable());

    ASSERT_TRUE(edit(model, 0, Freq, "7.05"));
    ASSERT_TRUE(model.commitRow(0).ok);
    ASSERT_EQ(state->saves.size(), 1u);
    const workbook::Workbook& saved = state->saves.back();
    ASSERT_EQ(saved.sheets.size(), 1u);
    EXPECT_EQ(saved.sheets[0].name, "Sheet1");
    EXPECT_EQ(saved.sheets[0].rows,
              (std::vector<Row>{{text("Frequency"), text("Note")}, {7.05, Empty{}}}));
    EXPECT_EQ(model.rowCount(), 2);

    // The next row goes under the header written the first time.
    ASSERT_TRUE(edit(model, 1, Note, "second"));
    ASSERT_TRUE(model.commitRow(1).ok);
    EXPECT_EQ(state->saves.back().sheets[0].rows.size(), 3u);
}

TEST(MemoryListModelFaults, AnEmptySheet1GetsItsHeaderWithTheFirstRow)
{
    auto state = loadedState({sheet("Sheet1", {}), sheet("Sheet2", {{1.0}})});
    MemoryListModel model(storeFor(state));
    ASSERT_EQ(model.rowCount(), 1);
    ASSERT_TRUE(edit(model, 0, Note, "first"));
    ASSERT_TRUE(model.commitRow(0).ok);
    const workbook::Workbook& saved = state->saves.back();
    ASSERT_EQ(saved.sheets.size(), 2u);
    EXPECT_EQ(saved.sheets[0].rows,
              (std::vector<Row>{{text("Frequency"), text("Note")}, {Empty{}, text("first")}}));
    EXPECT_EQ(saved.sheets[1].rows, (std::vector<Row>{{1.0}}));
}

TEST(MemoryListModelFaults, AWorkbookThatCannotBeUsedIsNeverWritten)
{
    struct Case
    {
        const char* what;
        std::shared_ptr<StoreState> state;
        QString problem;
    };
    auto unreadable = std::make_shared<StoreState>();
    unreadable->loaded.status = LoadResult::Status::Unreadable;
    unreadable->loaded.error = QStringLiteral("not a workbook");
    const std::vector<Case> cases{
        {"unreadable", unreadable, "Memories.xls could not be read: not a workbook"},
        {"no Sheet1", loadedState({sheet("Memories", {{text("Frequency"), text("Note")}})}),
         "Memories.xls has no Sheet1"},
        {"no Note field", loadedState({sheet("Sheet1", {{text("Frequency")}, {1.0}})}),
         "Sheet1 has no Note column"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryListModel model(storeFor(c.state));
        EXPECT_EQ(model.rowCount(), 0);
        EXPECT_FALSE(model.isEditable());
        EXPECT_EQ(model.problem(), c.problem);
        EXPECT_FALSE(edit(model, 0, Freq, "7"));
        EXPECT_FALSE(model.removeMemories(0).ok);
        EXPECT_TRUE(model.commitPending().ok);
        EXPECT_TRUE(c.state->saves.empty());
        EXPECT_EQ(c.state->failedSaves, 0);
    }
}

TEST(MemoryListModelFaults, AReadOnlyWorkbookIsShownButNotEditable)
{
    auto state = memoriesState({{7.05, text("a")}});
    state->loaded.writable = false;
    MemoryListModel model(storeFor(state));
    EXPECT_EQ(model.rowCount(), 1); // no row for adding
    EXPECT_FALSE(model.isNewRow(1));
    EXPECT_EQ(model.displayText(0, Freq), "7.05");
    EXPECT_EQ(model.problem(), "Memories.xls is read-only");
    EXPECT_FALSE(model.flags(model.index(0, Freq)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(edit(model, 0, Note, "b"));
    EXPECT_FALSE(model.removeMemories(0).ok);
    EXPECT_TRUE(state->saves.empty());
}

TEST(MemoryListModelFaults, AFailedSaveKeepsTheChangeAndReportsOnce)
{
    auto state = memoriesState({{7.05, text("a")}, {14.2, text("b")}});
    state->failSaves = true;
    MemoryListModel model(storeFor(state));
    QSignalSpy failed(&model, &MemoryListModel::saveFailed);

    // Changing a row.
    ASSERT_TRUE(edit(model, 0, Note, "a2"));
    const MemoryListModel::SaveResult result = model.commitRow(0);
    EXPECT_FALSE(result.ok);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("disk full"));
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("Memories.xls"));
    EXPECT_EQ(model.pendingRow(), 0);
    EXPECT_TRUE(model.pendingCommitFailed());
    EXPECT_EQ(model.displayText(0, Note), "a2");

    // Retrying once the file can be written stores the change.
    state->failSaves = false;
    ASSERT_TRUE(model.commitRow(0).ok);
    EXPECT_EQ(savedSheet1(*state).rows[1][1], text("a2"));
    EXPECT_EQ(failed.count(), 1);
}

TEST(MemoryListModelFaults, AFailedAddOrDeleteChangesNothing)
{
    auto state = memoriesState({{7.05, text("a")}});
    state->failSaves = true;
    MemoryListModel model(storeFor(state));
    QSignalSpy failed(&model, &MemoryListModel::saveFailed);

    ASSERT_TRUE(edit(model, 1, Freq, "9"));
    EXPECT_FALSE(model.commitRow(1).ok);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.pendingRow(), 1);
    EXPECT_EQ(model.displayText(1, Freq), "9");

    model.revert();
    EXPECT_FALSE(model.removeMemories(0).ok);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.displayText(0, Note), "a");
    EXPECT_EQ(failed.count(), 2);

    // The workbook in memory was put back each time: the next good save has no trace
    // of the failed attempts.
    state->failSaves = false;
    ASSERT_TRUE(edit(model, 0, Note, "a2"));
    ASSERT_TRUE(model.commitRow(0).ok);
    EXPECT_EQ(savedSheet1(*state).rows,
              (std::vector<Row>{{text("Frequency"), text("Note")}, {7.05, text("a2")}}));
}

TEST(MemoryListModelFaults, AFailedFirstRowLeavesNoSheetBehind)
{
    auto state = missingState();
    state->failSaves = true;
    MemoryListModel model(storeFor(state));
    ASSERT_TRUE(edit(model, 0, Freq, "7"));
    EXPECT_FALSE(model.commitRow(0).ok);
    state->failSaves = false;
    ASSERT_TRUE(model.commitRow(0).ok);
    ASSERT_EQ(state->saves.back().sheets.size(), 1u);
    EXPECT_EQ(state->saves.back().sheets[0].rows.size(), 2u);
}

} // namespace
} // namespace rxdeck::memories
