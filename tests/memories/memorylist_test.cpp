// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorieshelp.h"
#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"
#include "memories/memorylist.h"
#include "support/windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>

using namespace rxdeck;
using namespace rxdeck::test;

namespace {

class MemoryListTest : public WindowTest
{
protected:
    MemoryListTest() { completeSnapshot(QStringLiteral("x")); }

    // Types text into a cell of the new row and makes `current` the current column.
    void selectCell(const QString& text, int column = 0, int current = 0)
    {
        memories::MemoryGrid& grid = desk->memoryGrid();
        auto* model = grid.model();
        const int row = model->memoryCount(); // the row for adding
        model->setData(model->index(row, column), text);
        grid.view()->setCurrentIndex(model->index(row, current));
    }
};

} // namespace

// Whichever column is current, the row's frequency is what tunes; a note never does.
TEST_F(MemoryListTest, SelectSendsTheRowsFrequencyWhenItIsInRange)
{
    struct Case
    {
        const char* cell;
        const char* line; // nullptr: nothing sent
    };
    const Case cases[] = {
        {"30", "FRQ30\n"},   {"30.001", nullptr},           {"0.005", "FRQ0.005\n"},
        {"0.0049", nullptr}, {"7.05 MHz", "FRQ7.05 MHz\n"}, {" 7.05", "FRQ 7.05\n"},
        {"abc", nullptr},
    };
    for (const int current : {0, 1}) {
        for (const Case& c : cases) {
            selectCell(QString::fromLatin1(c.cell), 0, current);
            ui().Command[23]->click();
            const QByteArrayList expected = c.line ? QByteArrayList{c.line} : QByteArrayList{};
            EXPECT_EQ(port->takeWritten(), expected) << c.cell << " column " << current;
            if (!c.line)
                EXPECT_TRUE(window->message().contains(QStringLiteral("Nothing to tune")));
        }
    }
    selectCell(QStringLiteral("20 m SSB calling frequency"), 1, 1);
    ui().Command[23]->click();
    EXPECT_TRUE(port->takeWritten().isEmpty());
}

TEST_F(MemoryListTest, SelectOnTheEmptyNewRowOrWithThePortClosedSendsNothing)
{
    auto& grid = desk->memoryGrid();
    grid.view()->setCurrentIndex(grid.model()->index(grid.model()->rowCount() - 1, 0));
    ui().Command[23]->click();
    EXPECT_TRUE(port->written.isEmpty());

    selectCell(QStringLiteral("7.05"), 1);
    port->setPortOpen(false);
    ui().Command[23]->click();
    EXPECT_EQ(port->writesWhileClosed, 0);
}

TEST_F(MemoryListTest, HelpWindowIsBuiltOnceAndNamesTheWorkbookFolder)
{
    ui().mnuMemorieshelp->trigger();
    memories::MemoriesHelp* first = desk->memoryList().helpWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Memories help"));
    EXPECT_FALSE(first->isModal());
    EXPECT_TRUE(first->label2()->text().contains(workbookDir.path()));
    ui().mnuMemorieshelp->trigger();
    EXPECT_EQ(desk->memoryList().helpWindow(), first);
    // The poll keeps running while it is open.
    EXPECT_TRUE(ui().Timer[1]->isActive());
}

TEST_F(MemoryListTest, TheGridTakesItsPlaceUnderTheSelectButton)
{
    QWidget* grid = ui().DBGrid1;
    EXPECT_EQ(grid->geometry(), QRect(656, 8, 289, 545));
    EXPECT_TRUE(grid->geometry().contains(ui().Command[23]->geometry()));
    // "Select" is drawn over the grid: it comes later among the panel's children.
    const QObjectList children = grid->parentWidget()->children();
    EXPECT_GT(children.indexOf(ui().Command[23]), children.indexOf(grid));
}
