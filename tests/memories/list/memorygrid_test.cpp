// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakestore.h"
#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"
#include "support/childprocess.h"
#include "support/files.h"

#include <csignal>
#include <cstdio>
#include <functional>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#include <gtest/gtest.h>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace rxdeck::memories {
namespace {

using namespace testing;
using test::fileContents;
using test::putFile;

constexpr int Freq = MemoryListModel::FreqColumn;
constexpr int Note = MemoryListModel::NoteColumn;

// The grid between two other controls in a window, as on the main window.
class MemoryGridTest : public ::testing::Test
{
protected:
    void open(std::shared_ptr<StoreState> state = threeMemories())
    {
        state_ = std::move(state);
        open(storeFor(state_));
    }
    void open(std::unique_ptr<WorkbookStore> store)
    {
        window_ = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window_.get());
        layout->addWidget(before_ = new QLineEdit);
        layout->addWidget(grid_ = new MemoryGrid(std::move(store)));
        layout->addWidget(after_ = new QLineEdit);
        layout->addWidget(button_ = new QPushButton(QStringLiteral("Select")));
        grid_->setFixedSize(289, 545);
        grid_->setMessageSink([this](const QString& message) { messages_ << message; });
        window_->show();
        QApplication::processEvents();
        view()->setFocus();
    }
    static std::shared_ptr<StoreState> threeMemories()
    {
        return memoriesState({{7.05, t("40 m")}, {14.2, t("20 m")}, {21.3, t("15 m")}});
    }

    QTableView* view() const { return grid_->view(); }
    MemoryListModel* model() const { return grid_->model(); }
    QWidget* focused() const { return window_->focusWidget(); }
    QModelIndex at(int row, int column) const { return model()->index(row, column); }
    void goTo(int row, int column) { view()->setCurrentIndex(at(row, column)); }
    // Handles what each key posted (an editor closes on Enter only then), as the event
    // loop would before the next key.
    void press(Qt::Key key)
    {
        QTest::keyClick(focused(), key);
        QApplication::processEvents();
    }
    void type(const char* text)
    {
        for (; *text != '\0'; ++text)
            QTest::keyClick(focused(), *text);
    }
    void click(int row, int column)
    {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                          view()->visualRect(at(row, column)).center());
        QApplication::processEvents();
    }
    QStringList shown() const
    {
        QStringList rows;
        for (int row = 0; row < model()->rowCount(); ++row)
            rows << model()->displayText(row, Freq) + '|' + model()->displayText(row, Note);
        return rows;
    }
    // Near its edge, where a plain header takes no click.
    void clickRecordSelector(int row)
    {
        QHeaderView* selectors = view()->verticalHeader();
        QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                          {selectors->width() / 2, selectors->sectionViewportPosition(row) + 1});
    }
    Rows saved() const { return savedSheet1(*state_); }

    std::shared_ptr<StoreState> state_;
    std::unique_ptr<QWidget> window_;
    QLineEdit* before_ = nullptr;
    MemoryGrid* grid_ = nullptr;
    QLineEdit* after_ = nullptr;
    QPushButton* button_ = nullptr;
    QStringList messages_;
};

TEST_F(MemoryGridTest, TypingEditsACellAndLeavingTheRowWritesIt)
{
    open();
    ASSERT_EQ(view()->currentIndex(), at(0, Freq)); // opens on the first memory
    type("7.1");
    EXPECT_NE(qobject_cast<QLineEdit*>(focused()), nullptr);
    press(Qt::Key_Return);
    press(Qt::Key_Right);
    type("x");
    press(Qt::Key_Return);
    EXPECT_TRUE(state_->saves.empty()); // Enter and moves within the row write nothing
    press(Qt::Key_Down);
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved()[1], (Row{7.1, t("x")}));

    type("y"); // Up in an open editor also leaves the row
    press(Qt::Key_Up);
    ASSERT_EQ(state_->saves.size(), 2u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("y")}));

    // Escape cancels the cell being typed in, and again the whole row.
    type("kept");
    press(Qt::Key_Return);
    press(Qt::Key_Left);
    type("99");
    press(Qt::Key_Escape);
    EXPECT_EQ(grid_->currentCellText(), "7.1");
    EXPECT_EQ(model()->displayText(0, Note), "kept");
    press(Qt::Key_Escape);
    EXPECT_EQ(model()->displayText(0, Note), "x");
    press(Qt::Key_Down);
    EXPECT_EQ(state_->saves.size(), 2u);

    // Typing into the row for adding and clicking an adjacent row adds a memory.
    goTo(3, Note);
    type("new");
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      view()->visualRect(at(2, 0)).center());
    ASSERT_EQ(state_->saves.size(), 3u);
    EXPECT_EQ(saved().back(), (Row{workbook::Empty{}, t("new")}));
    EXPECT_EQ(model()->rowCount(), 5);
    EXPECT_TRUE(model()->isNewRow(4));
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(MemoryGridTest, ArrowKeysDoNotWrapAndTabLeavesTheGrid)
{
    open();
    const std::vector<std::tuple<QModelIndex, Qt::Key, QModelIndex>> moves{
        {at(0, Note), Qt::Key_Right, at(0, Note)}, {at(1, Freq), Qt::Key_Left, at(1, Freq)},
        {at(1, Freq), Qt::Key_Right, at(1, Note)}, {at(0, Freq), Qt::Key_Up, at(0, Freq)},
        {at(2, Note), Qt::Key_Down, at(3, Note)},  {at(3, Freq), Qt::Key_Down, at(3, Freq)},
    };
    for (const auto& [from, key, to] : moves) {
        view()->setCurrentIndex(from);
        press(key);
        EXPECT_EQ(view()->currentIndex(), to) << from.row() << "," << from.column() << " " << key;
    }

    goTo(1, Freq);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), after_);
    view()->setFocus();
    press(Qt::Key_Backtab);
    EXPECT_EQ(focused(), before_);
    view()->setFocus();
    type("9"); // in an editor too, and the typing stays in the cell
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), after_);
    EXPECT_EQ(view()->currentIndex(), at(1, Freq));
    EXPECT_EQ(grid_->currentCellText(), "9");
    EXPECT_TRUE(state_->saves.empty());
}

TEST_F(MemoryGridTest, DeleteRemovesARowSelectedByItsRecordSelector)
{
    open();
    goTo(1, Note);
    type("edited");
    clickRecordSelector(2); // leaving row 1 writes it
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("edited")}));
    EXPECT_TRUE(view()->selectionModel()->isRowSelected(2, {}));
    press(Qt::Key_Delete);
    ASSERT_EQ(state_->saves.size(), 2u);
    EXPECT_EQ(saved(), (Rows{{t("Frequency"), t("Note")}, {7.05, t("40 m")}, {14.2, t("edited")}}));
}

// Undo puts the deleted row back where it was, with the rows it moved, until the list
// changes again: after an edit is written, or another program's save, there is nothing to
// undo and the workbook stays as it is.
TEST_F(MemoryGridTest, UndoPutsADeletedRowBackUntilTheNextChange)
{
    open();
    const Rows before = state_->loaded.document.values().sheet(QStringLiteral("Sheet1"))->rows;
    clickRecordSelector(1);
    press(Qt::Key_Delete);
    grid_->undoDelete();
    ASSERT_EQ(state_->saves.size(), 2u);
    EXPECT_EQ(saved(), before);
    EXPECT_EQ(view()->currentIndex(), at(1, Freq));
    grid_->undoDelete(); // once only
    EXPECT_EQ(state_->saves.size(), 2u);

    clickRecordSelector(0);
    press(Qt::Key_Delete);
    goTo(0, Note);
    type("changed");
    press(Qt::Key_Down);
    ASSERT_EQ(state_->saves.size(), 4u);
    grid_->undoDelete();
    EXPECT_EQ(state_->saves.size(), 4u);

    clickRecordSelector(0);
    press(Qt::Key_Delete);
    savedElsewhere(*state_, {{7.05, t("40 m")}});
    grid_->undoDelete();
    EXPECT_EQ(state_->saves.size(), 5u);
    EXPECT_EQ(messages_.size(), 1);
}

TEST_F(MemoryGridTest, AFailedSaveIsReportedOnceAndTheGridStaysOnTheChangedRow)
{
    open();
    state_->failSaves = true;
    goTo(0, Note);
    type("changed");
    press(Qt::Key_Down);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("disk full"));
    EXPECT_EQ(view()->currentIndex().row(), 0);
    EXPECT_EQ(grid_->currentCellText(), "changed");

    state_->failSaves = false; // leaving the row again retries
    press(Qt::Key_Down);
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved()[1], (Row{7.05, t("changed")}));
    EXPECT_EQ(view()->currentIndex().row(), 1);
    EXPECT_EQ(messages_.size(), 1);
}

TEST_F(MemoryGridTest, ClosingTheWindowWritesTheChangedRowEditorTextIncluded)
{
    open();
    goTo(2, Note);
    type("now");
    EXPECT_TRUE(grid_->commitPending()); // as the window may ask for
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved()[3], (Row{21.3, t("now")}));
    goTo(1, Note);
    type("last words");
    window_->close();
    ASSERT_EQ(state_->saves.size(), 2u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("last words")}));

    // A failure is reported on closing, and not again when the grid goes, though
    // the grid tries once more.
    open();
    state_->failSaves = true;
    type("lost?");
    window_->close();
    window_.reset();
    EXPECT_EQ(messages_.size(), 1);
    EXPECT_EQ(state_->failedSaves, 2);
}

TEST_F(MemoryGridTest, CurrentCellTextIsWhatTheCellShows)
{
    open(memoriesState({{7.05, t("7 MHz net")}, {14.0, {}}}));
    const std::vector<std::tuple<int, int, QString>> cells{
        {0, Freq, "7.05"}, {0, Note, "7 MHz net"}, {1, Freq, "14"}, {1, Note, ""}, {2, Freq, ""},
    };
    for (const auto& [row, column, text] : cells) {
        goTo(row, column);
        EXPECT_EQ(grid_->currentCellText(), text) << row << "," << column;
    }
    view()->setCurrentIndex({});
    EXPECT_EQ(grid_->currentCellText(), "");
}

TEST_F(MemoryGridTest, AnUnreadableWorkbookLeavesAnEmptyGridThatSaysWhy)
{
    auto state = stateWith(LoadResult::Status::Unreadable);
    state->loaded.error = QStringLiteral("damaged workbook");
    open(state);
    EXPECT_EQ(grid_->captionBar()->text(),
              "Memories: Memories.xls could not be read: damaged workbook");
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(grid_->currentCellText(), "");
}

TEST_F(MemoryGridTest, BothColumnsFitBesideTheRecordSelectorsAndAScrollBar)
{
    open(memoriesState(Rows(100, Row{7.05, t("a long note that does not fit the column")})));
    EXPECT_EQ(grid_->captionBar()->text(), "Memories");
    EXPECT_TRUE(view()->verticalScrollBar()->isVisible());
    EXPECT_FALSE(view()->horizontalScrollBar()->isVisible());
}

// Typed keys go into the current cell, all of them, however the grid got the focus;
// none is taken for a search, though a row starts with the first key typed.
TEST_F(MemoryGridTest, TypingGoesIntoTheCurrentCellWhereverTheFocusCameFrom)
{
    const std::vector<std::pair<const char*, std::function<void()>>> ways{
        {"the cell clicked again after a button",
         [this] {
             click(1, Freq);
             QTest::mouseClick(button_, Qt::LeftButton);
             click(1, Freq);
         }},
        {"Tab from the control before",
         [this] {
             goTo(1, Freq);
             before_->setFocus();
             press(Qt::Key_Tab);
         }},
        {"arrow keys",
         [this] {
             goTo(0, Freq);
             press(Qt::Key_Down);
         }},
    };
    for (const auto& [how, focus] : ways) {
        SCOPED_TRACE(how);
        open(memoriesState({{7.05, t("40 m")}, {14.2, t("20 m")}, {9.5, t("31 m")}}));
        focus();
        type("9.25");
        press(Qt::Key_Return);
        EXPECT_EQ(shown(), QStringList({"7.05|40 m", "9.25|20 m", "9.5|31 m", "|"}));
    }
}

// Typing into the row for adding shows the next empty row at once; leaving the row,
// by key or by click, writes the new memory, the first one of a new list included.
TEST_F(MemoryGridTest, ANewMemoryIsFinishedByLeavingItsRow)
{
    const Rows header{{t("Frequency"), t("Note")}};
    const std::vector<std::tuple<const char*, std::shared_ptr<StoreState>, std::function<void()>>>
        cases{
            {"first memory, a click on the row below", stateWith(LoadResult::Status::Missing),
             [this] { click(1, Note); }},
            {"first memory, Return then Down", stateWith(LoadResult::Status::Missing),
             [this] {
                 press(Qt::Key_Return);
                 press(Qt::Key_Down);
             }},
            {"below the list, Down", threeMemories(), [this] { press(Qt::Key_Down); }},
            {"below the list, a click on another row", threeMemories(), [this] { click(0, Note); }},
        };
    for (const auto& [how, state, leave] : cases) {
        SCOPED_TRACE(how);
        open(state);
        const int row = model()->memoryCount();
        goTo(row, Freq);
        type("9.25");
        EXPECT_EQ(model()->rowCount(), row + 2);
        leave();
        ASSERT_EQ(state_->saves.size(), 1u);
        EXPECT_EQ(saved().size(), static_cast<std::size_t>(row) + 2);
        EXPECT_EQ(saved().front(), header.front());
        EXPECT_EQ(saved().back(), (Row{9.25}));
        EXPECT_EQ(model()->rowCount(), row + 2);
        EXPECT_TRUE(messages_.isEmpty());
    }
}

// Another program saves by writing a new file and renaming it over the old one, then
// changes that file in place: the grid shows each version on the same cell.
TEST_F(MemoryGridTest, AnotherProgramsSaveShowsOnTheSameCell)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Memories.xls"));
    putFile(file, "first");
    auto state = threeMemories();
    state->watched = file;
    open(state);
    goTo(2, Note);
    QSignalSpy reloaded(model(), &QAbstractItemModel::modelReset);

    savedElsewhere(*state_, {{1.0, t("w")}, {2.0, t("x")}, {3.0, t("y")}, {4.0, t("z")}});
    const QString renamed = dir.filePath(QStringLiteral("saving.tmp"));
    putFile(renamed, "second");
    ASSERT_EQ(std::rename(qPrintable(renamed), qPrintable(file)), 0);
    ASSERT_TRUE(reloaded.wait(10000));
    EXPECT_EQ(view()->currentIndex(), at(2, Note));
    EXPECT_EQ(grid_->currentCellText(), "y");

    savedElsewhere(*state_, {{5.0, t("only")}});
    putFile(file, "third");
    ASSERT_TRUE(reloaded.wait(10000));
    EXPECT_EQ(shown(), QStringList({"5|only", "|"}));
    EXPECT_EQ(view()->currentIndex(), at(1, Note)); // as near as the list allows
    EXPECT_TRUE(state_->saves.empty());

    // A row being typed in is written on top of the version on disk when it is left.
    goTo(0, Note);
    type("mine");
    savedElsewhere(*state_, {{4.0, t("new")}, {5.0, t("only")}});
    press(Qt::Key_Down);
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved(), (Rows{{t("Frequency"), t("Note")}, {4.0, t("new")}, {5.0, t("mine")}}));
    EXPECT_EQ(shown(), QStringList({"4|new", "5|mine", "|"}));
    EXPECT_EQ(view()->currentIndex(), at(2, Note)); // moved down with the row left
    EXPECT_TRUE(messages_.isEmpty());
}

// Another program deletes the memory being typed in: leaving the row does not put the typing
// on the memory that moved up into its place but into a new row at the end, says which
// memory went, and leaving that row saves it as a new memory (Escape would drop it).
TEST_F(MemoryGridTest, TypingInAMemoryDeletedElsewhereNeverLandsOnAnother)
{
    open();
    goTo(1, Note);
    type("evenings");
    savedElsewhere(*state_, {{7.05, t("40 m")}, {21.3, t("15 m")}});
    press(Qt::Key_Down);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("\"14.2 20 m\"")) << messages_[0].toStdString();
    EXPECT_TRUE(state_->saves.empty());
    EXPECT_EQ(shown(), QStringList({"7.05|40 m", "21.3|15 m", "14.2|evenings", "|"}));
    EXPECT_EQ(view()->currentIndex(), at(2, Note));

    press(Qt::Key_Up);
    ASSERT_EQ(state_->saves.size(), 1u);
    EXPECT_EQ(saved(), (Rows{{t("Frequency"), t("Note")},
                             {7.05, t("40 m")},
                             {21.3, t("15 m")},
                             {14.2, t("evenings")}}));
}

#ifdef Q_OS_UNIX
// A write that fails on the disk (past the file size limit, as on a full disk) leaves the
// workbook and its backup as they were, says so once and keeps the typing in the grid.
TEST_F(MemoryGridTest, AWriteThatFailsOnTheDiskKeepsTheTypingAndSaysSoOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Memories.xls"));
    const QString backup = path + QStringLiteral(".bak");
    const auto original =
        documentOf({memoriesSheet({{7.05, t("40 m")}, {14.2, t("20 m")}})}).save();
    ASSERT_TRUE(original);
    putFile(path, *original);
    open(std::make_unique<FileWorkbookStore>(path));
    goTo(0, Note);
    type("changed");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    {
        struct Limit
        {
            rlimit saved;
            void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
            ~Limit()
            {
                setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, handler);
            }
        } limit{saved};
        rlimit lowered = saved;
        lowered.rlim_cur = 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
        press(Qt::Key_Down);
    }
    EXPECT_EQ(messages_.size(), 1);
    EXPECT_EQ(view()->currentIndex(), at(0, Note));
    EXPECT_EQ(grid_->currentCellText(), "changed");
    EXPECT_TRUE(fileContents(path) == *original);
    EXPECT_TRUE(!QFileInfo::exists(backup) || fileContents(backup) == *original);

    press(Qt::Key_Down); // with room again, leaving the row writes it
    const auto written = workbook::Document::parse(fileContents(path));
    ASSERT_TRUE(written.document);
    EXPECT_EQ(written.document->values().sheet(QStringLiteral("Sheet1"))->rows[1],
              (Row{7.05, t("changed")}));
    EXPECT_EQ(messages_.size(), 1);
}
#endif

// xlwt, an independent writer, protects Sheet1 and unlocks one note and the empty cells of
// the Note column.
constexpr const char* protectedWorkbook = R"(
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet('Sheet1')
sheet.protect = True
sheet.col(1).set_style(xlwt.easyxf('protection: cell_locked false'))
for row, cells in enumerate([('Frequency', 'Note'), (7.05, '40 m'), (14.2, '20 m'), (21.3,)]):
    for column, value in enumerate(cells):
        open_ = (row, column) == (2, 1)
        sheet.write(row, column, value, xlwt.easyxf('protection: cell_locked false') if open_
                    else xlwt.Style.default_style)
book.save(sys.argv[1])
)";

TEST_F(MemoryGridTest, AProtectedSheetTakesTypingOnlyInItsUnlockedCells)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("protected.xls");
    if (!rxdeck::test::runCommand({"/usr/bin/python3", "-c", protectedWorkbook, path.toStdString()})
             .ok())
        GTEST_SKIP() << "python3-xlwt is not installed";
    auto state = std::make_shared<StoreState>();
    state->loaded.status = LoadResult::Status::Loaded;
    state->loaded.document = *workbook::Document::parse(fileContents(path)).document;
    open(state);
    EXPECT_EQ(grid_->captionBar()->text(),
              QStringLiteral("Memories (protected sheet: locked cells are read only)"));
    const QStringList before{"7.05|40 m", "14.2|20 m", "21.3|"}; // and no row for adding
    EXPECT_EQ(shown(), before);

    goTo(0, Note); // locked
    type("9");
    press(Qt::Key_Return);
    goTo(0, Freq);
    press(Qt::Key_Delete); // clears nothing either
    clickRecordSelector(0);
    press(Qt::Key_Delete); // nor deletes the row
    EXPECT_EQ(shown(), before);
    EXPECT_TRUE(state_->saves.empty());
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("protected")) << messages_[0].toStdString();

    goTo(1, Note); // unlocked
    type("x");
    press(Qt::Key_Return);
    press(Qt::Key_Down);
    type("y"); // empty, in the unlocked column
    press(Qt::Key_Return);
    press(Qt::Key_Up);
    ASSERT_EQ(state_->saves.size(), 2u);
    EXPECT_EQ(
        saved(),
        (Rows{{t("Frequency"), t("Note")}, {7.05, t("40 m")}, {14.2, t("x")}, {21.3, t("y")}}));
}

} // namespace
} // namespace rxdeck::memories
