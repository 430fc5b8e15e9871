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
    void open(std::shared_ptr<StoreState> state = threeMemories())
    {
        m_state = std::move(state);
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(m_before = new QLineEdit);
        layout->addWidget(m_grid = new MemoryGrid(storeFor(m_state)));
        layout->addWidget(m_after = new QLineEdit);
        m_grid->setFixedSize(289, 545);
        m_grid->setMessageSink([this](const QString& message) { m_messages << message; });
        m_window->show();
        QApplication::processEvents();
        view()->setFocus();
    }
    static std::shared_ptr<StoreState> threeMemories()
    {
        return memoriesState({{7.05, t("40 m")}, {14.2, t("20 m")}, {21.3, t("15 m")}});
    }

    QTableView* view() const { return m_grid->view(); }
    MemoryListModel* model() const { return m_grid->model(); }
    QWidget* focused() const { return m_window->focusWidget(); }
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
    // Near its edge, where a plain header takes no click.
    void clickRecordSelector(int row)
    {
        QHeaderView* selectors = view()->verticalHeader();
        QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                          {selectors->width() / 2, selectors->sectionViewportPosition(row) + 1});
    }
    Rows saved() const { return m_state->saves.back().sheet(QStringLiteral("Sheet1"))->rows; }

    std::shared_ptr<StoreState> m_state;
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_before = nullptr;
    MemoryGrid* m_grid = nullptr;
    QLineEdit* m_after = nullptr;
    QStringList m_messages;
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
    EXPECT_TRUE(m_state->saves.empty()); // Enter and moves within the row write nothing
    press(Qt::Key_Down);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(saved()[1], (Row{7.1, t("x")}));

    type("y"); // Up in an open editor also leaves the row
    press(Qt::Key_Up);
    ASSERT_EQ(m_state->saves.size(), 2u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("y")}));

    // Escape cancels the cell being typed in, and again the whole row.
    type("kept");
    press(Qt::Key_Return);
    press(Qt::Key_Left);
    type("99");
    press(Qt::Key_Escape);
    EXPECT_EQ(m_grid->currentCellText(), "7.1");
    EXPECT_EQ(model()->displayText(0, Note), "kept");
    press(Qt::Key_Escape);
    EXPECT_EQ(model()->displayText(0, Note), "x");
    press(Qt::Key_Down);
    EXPECT_EQ(m_state->saves.size(), 2u);

    // Typing into the row for adding and clicking an adjacent row adds a memory.
    goTo(3, Note);
    type("new");
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      view()->visualRect(at(2, 0)).center());
    ASSERT_EQ(m_state->saves.size(), 3u);
    EXPECT_EQ(saved().back(), (Row{workbook::Empty{}, t("new")}));
    EXPECT_TRUE(model()->isNewRow(4));
    EXPECT_TRUE(m_messages.isEmpty());
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
    EXPECT_EQ(focused(), m_after);
    view()->setFocus();
    press(Qt::Key_Backtab);
    EXPECT_EQ(focused(), m_before);
    view()->setFocus();
    type("9"); // in an editor too, and the typing stays in the cell
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), m_after);
    EXPECT_EQ(view()->currentIndex(), at(1, Freq));
    EXPECT_EQ(m_grid->currentCellText(), "9");
    EXPECT_TRUE(m_state->saves.empty());
}

TEST_F(MemoryGridTest, DeleteRemovesARowSelectedByItsRecordSelector)
{
    open();
    goTo(1, Note);
    type("edited");
    clickRecordSelector(2); // leaving row 1 writes it
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("edited")}));
    EXPECT_TRUE(view()->selectionModel()->isRowSelected(2, {}));
    press(Qt::Key_Delete);
    ASSERT_EQ(m_state->saves.size(), 2u);
    EXPECT_EQ(saved(), (Rows{{t("Frequency"), t("Note")}, {7.05, t("40 m")}, {14.2, t("edited")}}));
}

TEST_F(MemoryGridTest, AFailedSaveIsReportedOnceAndTheGridStaysOnTheChangedRow)
{
    open();
    m_state->failSaves = true;
    goTo(0, Note);
    type("changed");
    press(Qt::Key_Down);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("disk full"));
    EXPECT_EQ(view()->currentIndex().row(), 0);
    EXPECT_EQ(m_grid->currentCellText(), "changed");

    m_state->failSaves = false; // leaving the row again retries
    press(Qt::Key_Down);
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(saved()[1], (Row{7.05, t("changed")}));
    EXPECT_EQ(view()->currentIndex().row(), 1);
    EXPECT_EQ(m_messages.size(), 1);
}

TEST_F(MemoryGridTest, ClosingTheWindowWritesTheChangedRowEditorTextIncluded)
{
    open();
    goTo(2, Note);
    type("now");
    EXPECT_TRUE(m_grid->commitPending()); // as the window may ask for
    ASSERT_EQ(m_state->saves.size(), 1u);
    EXPECT_EQ(saved()[3], (Row{21.3, t("now")}));
    goTo(1, Note);
    type("last words");
    m_window->close();
    ASSERT_EQ(m_state->saves.size(), 2u);
    EXPECT_EQ(saved()[2], (Row{14.2, t("last words")}));

    // A failure is reported on closing, and not again when the grid goes, though
    // the grid tries once more.
    open();
    m_state->failSaves = true;
    type("lost?");
    m_window->close();
    m_window.reset();
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_state->failedSaves, 2);
}

TEST_F(MemoryGridTest, CurrentCellTextIsWhatTheCellShows)
{
    open(memoriesState({{7.05, t("7 MHz net")}, {14.0, {}}}));
    const std::vector<std::tuple<int, int, QString>> cells{
        {0, Freq, "7.05"}, {0, Note, "7 MHz net"}, {1, Freq, "14"}, {1, Note, ""}, {2, Freq, ""},
    };
    for (const auto& [row, column, text] : cells) {
        goTo(row, column);
        EXPECT_EQ(m_grid->currentCellText(), text) << row << "," << column;
    }
    view()->setCurrentIndex({});
    EXPECT_EQ(m_grid->currentCellText(), "");
}

TEST_F(MemoryGridTest, AnUnreadableWorkbookLeavesAnEmptyGridThatSaysWhy)
{
    auto state = stateWith(LoadResult::Status::Unreadable);
    state->loaded.error = QStringLiteral("damaged workbook");
    open(state);
    EXPECT_EQ(m_grid->captionBar()->text(),
              "Memories: Memories.xls could not be read: damaged workbook");
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(m_grid->currentCellText(), "");
}

TEST_F(MemoryGridTest, BothColumnsFitBesideTheRecordSelectorsAndAScrollBar)
{
    open(memoriesState(Rows(100, Row{7.05, t("a long note that does not fit the column")})));
    EXPECT_EQ(m_grid->captionBar()->text(), "Memories");
    EXPECT_TRUE(view()->verticalScrollBar()->isVisible());
    EXPECT_FALSE(view()->horizontalScrollBar()->isVisible());
}

} // namespace
} // namespace rxdeck::memories
