#include "fakestore.h"
#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

namespace rxdeck::memories {
namespace {

using namespace testing;

constexpr int Freq = MemoryListModel::FreqColumn;
constexpr int Note = MemoryListModel::NoteColumn;

// The grid between two other controls in a window, as on the main window.
class MemoryGridTest : public ::testing::Test
{
protected:
    void open(std::shared_ptr<StoreState> state)
    {
        m_state = std::move(state);
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        m_before = new QLineEdit(m_window.get());
        m_grid = new MemoryGrid(storeFor(m_state), m_window.get());
        m_after = new QLineEdit(m_window.get());
        layout->addWidget(m_before);
        layout->addWidget(m_grid);
        layout->addWidget(m_after);
        m_grid->setFixedSize(289, 545);
        m_grid->setMessageSink([this](const QString& message) { m_messages << message; });
        m_window->show();
        QApplication::processEvents();
        m_grid->view()->setFocus();
    }

    QTableView* view() const { return m_grid->view(); }
    MemoryListModel* model() const { return m_grid->model(); }
    QWidget* focused() const { return m_window->focusWidget(); }
    QModelIndex current() const { return view()->currentIndex(); }
    void goTo(int row, int column) { view()->setCurrentIndex(model()->index(row, column)); }
    // Handles what the key posted (an editor closes on Enter only then), as the event
    // loop would before the user's next key.
    void press(Qt::Key key)
    {
        QTest::keyClick(focused(), key);
        QApplication::processEvents();
    }
    void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(focused(), c.toLatin1());
    }
    void clickCell(int row, int column)
    {
        const QRect cell = view()->visualRect(model()->index(row, column));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    void clickRecordSelector(int row)
    {
        QHeaderView* selectors = view()->verticalHeader();
        const QPoint at(selectors->width() / 2,
                        selectors->sectionViewportPosition(row) + selectors->sectionSize(row) / 2);
        QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {}, at);
    }
    const std::vector<Row>& savedRows() const
    {
        return m_state->saves.back().sheet(QStringLiteral("Sheet1"))->rows;
    }

    std::shared_ptr<StoreState> m_state;
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_before = nullptr;
    MemoryGrid* m_grid = nullptr;
    QLineEdit* m_after = nullptr;
    QStringList m_messages;
};

std::shared_ptr<StoreState> threeMemories()
{
    return memoriesState({{7.05, text("40 m")}, {14.2, text("20 m")}, {21.3, text("15 m")}});
}

TEST_F(MemoryGridTest, TypingEditsTheCurrentCellAndLeavingTheRowWritesIt)
{
    open(threeMemories());
    ASSERT_EQ(current(), model()->index(0, Freq)); // opens on the first memory

    type("7.1");
    EXPECT_NE(qobject_cast<QLineEdit*>(focused()), nullptr); // typing opened an editor
    press(Qt::Key_Return);
    press(Qt::Key_Right);
    type("x");
    press(Qt::Key_Return);
    EXPECT_EQ(current(), model()->index(0, Note));
    EXPECT_TRUE(m_state->saves.empty()); // Enter and moving within the row write nothing

    press(Qt::Key_Down);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows()[1], (Row{7.1, text("x")}));
    EXPECT_EQ(current(), model()->index(1, Note));

    // Arrow keys ignored by the editor still move between rows, and commit.
    type("y");
    press(Qt::Key_Up);
    ASSERT_EQ(m_state->saves.size(), 2u);
    EXPECT_EQ(savedRows()[2], (Row{14.2, text("y")}));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(MemoryGridTest, TypingInTheNewRowAndClickingAnAdjacentRowAddsAMemory)
{
    open(threeMemories());
    goTo(3, Note);
    EXPECT_TRUE(m_grid->currentCellText().isEmpty());
    type("new");
    clickCell(2, Freq);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows().back(), (Row{workbook::Empty{}, text("new")}));
    EXPECT_EQ(model()->rowCount(), 5);
    EXPECT_TRUE(model()->isNewRow(4));
}

TEST_F(MemoryGridTest, ArrowKeysMoveBetweenCellsWithoutWrappingAtRowEnds)
{
    open(threeMemories());
    struct Case
    {
        int row, column;
        Qt::Key key;
        int toRow, toColumn;
    };
    const std::vector<Case> cases{
        {0, Note, Qt::Key_Right, 0, Note}, {1, Freq, Qt::Key_Left, 1, Freq},
        {1, Freq, Qt::Key_Right, 1, Note}, {1, Note, Qt::Key_Left, 1, Freq},
        {0, Freq, Qt::Key_Up, 0, Freq},    {2, Note, Qt::Key_Down, 3, Note},
        {3, Freq, Qt::Key_Down, 3, Freq},
    };
    for (const Case& c : cases) {
        goTo(c.row, c.column);
        press(c.key);
        EXPECT_EQ(current(), model()->index(c.toRow, c.toColumn))
            << "from " << c.row << "," << c.column << " key " << c.key;
    }
    EXPECT_TRUE(m_state->saves.empty());
}

TEST_F(MemoryGridTest, TabLeavesTheGridForTheNextControlEvenWhileEditing)
{
    open(threeMemories());
    goTo(1, Freq);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), m_after);
    EXPECT_EQ(current(), model()->index(1, Freq));

    view()->setFocus();
    press(Qt::Key_Backtab);
    EXPECT_EQ(focused(), m_before);

    view()->setFocus();
    type("9");
    ASSERT_NE(qobject_cast<QLineEdit*>(focused()), nullptr);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), m_after);
    EXPECT_EQ(current(), model()->index(1, Freq));
    // The typed text is kept in the row but not written until the row is left.
    EXPECT_EQ(m_grid->currentCellText(), "9");
    EXPECT_TRUE(m_state->saves.empty());
}

TEST_F(MemoryGridTest, DeleteRemovesARowSelectedByItsRecordSelector)
{
    open(threeMemories());
    goTo(1, Note);
    press(Qt::Key_Delete); // a single cell is no row selection
    EXPECT_EQ(model()->memoryCount(), 3);
    press(Qt::Key_Escape);

    clickRecordSelector(1);
    EXPECT_TRUE(view()->selectionModel()->isRowSelected(1, {}));
    EXPECT_EQ(focused(), view());
    press(Qt::Key_Delete);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows(),
              (std::vector<Row>{
                  {text("Frequency"), text("Note")}, {7.05, text("40 m")}, {21.3, text("15 m")}}));
    EXPECT_EQ(model()->memoryCount(), 2);
}

TEST_F(MemoryGridTest, RecordSelectorClickWritesTheRowBeingLeft)
{
    open(threeMemories());
    goTo(0, Note);
    type("edited");
    clickRecordSelector(2);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows()[1], (Row{7.05, text("edited")}));
    EXPECT_TRUE(view()->selectionModel()->isRowSelected(2, {}));
}

TEST_F(MemoryGridTest, AFailedSaveIsReportedOnceAndTheGridStaysOnTheChangedRow)
{
    auto state = threeMemories();
    state->failSaves = true;
    open(state);
    goTo(0, Note);
    type("changed");
    press(Qt::Key_Down);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("disk full"));
    EXPECT_EQ(current().row(), 0); // back on the row, once the key was handled
    EXPECT_EQ(model()->pendingRow(), 0);
    EXPECT_EQ(model()->displayText(0, Note), "changed");

    // Leaving the row again retries.
    state->failSaves = false;
    press(Qt::Key_Down);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows()[1], (Row{7.05, text("changed")}));
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_EQ(current().row(), 1);
}

TEST_F(MemoryGridTest, ClosingTheWindowWritesAPendingRowEditorTextIncluded)
{
    open(threeMemories());
    goTo(2, Note);
    type("last words"); // the editor is still open
    m_window->close();
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows()[3], (Row{21.3, text("last words")}));
}

TEST_F(MemoryGridTest, DestroyingTheGridWritesAPendingRow)
{
    open(threeMemories());
    goTo(1, Freq);
    type("14.25");
    delete m_grid;
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(savedRows()[2], (Row{14.25, text("20 m")}));
}

TEST_F(MemoryGridTest, AFailureOnClosingIsNotReportedAgainWhenTheGridGoes)
{
    auto state = threeMemories();
    state->failSaves = true;
    open(state);
    goTo(1, Note);
    type("lost?");
    m_window->close();
    EXPECT_EQ(m_messages.size(), 1);
    m_window.reset();
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_EQ(state->failedSaves, 2); // the grid still tried once more
}

TEST_F(MemoryGridTest, CurrentCellTextIsWhatTheCellShows)
{
    open(memoriesState({{7.05, text("7 MHz net")}, {14.0, workbook::Empty{}}}));
    const std::vector<std::tuple<int, int, QString>> cases{
        {0, Freq, "7.05"}, {0, Note, "7 MHz net"}, {1, Freq, "14"}, {1, Note, ""}, {2, Freq, ""},
    };
    for (const auto& [row, column, text] : cases) {
        goTo(row, column);
        EXPECT_EQ(m_grid->currentCellText(), text) << row << "," << column;
    }
    view()->setCurrentIndex({});
    EXPECT_EQ(m_grid->currentCellText(), "");
}

TEST_F(MemoryGridTest, AnUnreadableWorkbookLeavesAnEmptyGridThatSaysWhy)
{
    auto state = std::make_shared<StoreState>();
    state->loaded.status = LoadResult::Status::Unreadable;
    state->loaded.error = QStringLiteral("damaged workbook");
    open(state);
    EXPECT_EQ(m_grid->captionBar()->text(),
              "Memories: Memories.xls could not be read: damaged workbook");
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(m_grid->currentCellText(), "");
    type("7");
    press(Qt::Key_Delete);
    EXPECT_TRUE(m_grid->commitPending());
    EXPECT_EQ(state->failedSaves, 0);
    EXPECT_TRUE(state->saves.empty());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(MemoryGridTest, BothColumnsFitBesideTheRecordSelectorsWithAScrollBar)
{
    std::vector<Row> many(100, Row{7.05, text("a long note that does not fit the column")});
    open(memoriesState(many));
    EXPECT_EQ(m_grid->captionBar()->text(), "Memories");
    EXPECT_TRUE(view()->verticalScrollBar()->isVisible());
    EXPECT_FALSE(view()->horizontalScrollBar()->isVisible());
    EXPECT_EQ(view()->columnWidth(Freq), 60);
    EXPECT_EQ(view()->columnWidth(Note), 170);
}

} // namespace
} // namespace rxdeck::memories
