// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/panelprobe.h"
#include "support/windowfixture.h"

#include <QLineEdit>
#include <QPushButton>

using namespace rxdeck;
using namespace rxdeck::test;

namespace {

class MemoriesTest : public WindowTest
{
protected:
    MemoriesTest() { completeSnapshot(QStringLiteral("x")); }
    QPushButton* button(int n) const { return ui().Command[std::size_t(n)]; }
};

struct ScratchSlot
{
    int store;
    int recall;
    const char* start;
};
constexpr ScratchSlot scratch[] = {
    {27, 28, "TempA"}, {31, 29, "TempB"}, {32, 30, "TempC"}, {33, 34, "TempD"}};

} // namespace

TEST_F(MemoriesTest, NeverStoredSlotsSendNothingAndSaySo)
{
    for (const ScratchSlot& s : scratch) {
        button(s.recall)->click();
        EXPECT_TRUE(port->takeWritten().isEmpty()) << s.start;
        EXPECT_EQ(button(s.recall)->text(), QString::fromLatin1(s.start));
        EXPECT_TRUE(window->message().contains(QStringLiteral("empty"))) << s.start;
    }
}

TEST_F(MemoriesTest, StoreKeepsEightCharactersOfTheWorkingFrequency)
{
    // Before any status reply the working frequency is still the design text.
    // Recalling it sends no such frequency.
    button(27)->click();
    EXPECT_EQ(button(28)->text(), QStringLiteral("Text5"));
    button(28)->click();
    EXPECT_TRUE(port->takeWritten().isEmpty());
    EXPECT_TRUE(window->message().contains(QStringLiteral("holds no frequency")));

    port->replies = {statusReply("07.123456", "4", "-100.0", "2")};
    ui().Timer[1]->timeout({});
    port->takeWritten();
    button(27)->click();
    EXPECT_EQ(button(28)->text(), QStringLiteral(" 07.1234"));
    button(28)->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ 07.1234\n"});

    // A stepped value has no blank; all eight characters are kept.
    ui().Text[5]->setText(QStringLiteral("7.123556"));
    button(33)->click();
    EXPECT_EQ(button(34)->text(), QStringLiteral("7.123556"));
    // Storing again keeps only the second value; the other slots are untouched.
    ui().Text[5]->setText(QStringLiteral("14.2"));
    button(33)->click();
    EXPECT_EQ(button(34)->text(), QStringLiteral("14.2"));
    EXPECT_EQ(button(29)->text(), QStringLiteral("TempB"));
    EXPECT_TRUE(port->written.isEmpty()); // storing sends nothing
}

TEST_F(MemoriesTest, ClosedPortStoresAndRecallsNothing)
{
    port->setPortOpen(false);
    ui().Text[5]->setText(QStringLiteral("7.1"));
    for (const ScratchSlot& s : scratch) {
        button(s.store)->click();
        button(s.recall)->click();
        EXPECT_EQ(button(s.recall)->text(), QString::fromLatin1(s.start));
    }
    EXPECT_EQ(port->writesWhileClosed, 0);
}

TEST_F(MemoriesTest, ScanStartSendsBothLimitsAndSwapsTheButtons)
{
    ui().Text[1]->setText(QStringLiteral("7.000000"));
    ui().Text[4]->setText(QStringLiteral("7.300000"));
    button(37)->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRA0;FRB7.300000;FRA7.000000;SCF2;OPR1\n"});
    EXPECT_FALSE(button(37)->isEnabled());
    EXPECT_TRUE(button(40)->isEnabled());
    button(40)->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"OPR0\n"});
    EXPECT_TRUE(button(37)->isEnabled());
    EXPECT_FALSE(button(40)->isEnabled());

    ui().Text[1]->clear();
    ui().Text[4]->clear();
    button(37)->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRA0;FRB;FRA;SCF2;OPR1\n"});
    EXPECT_TRUE(button(40)->isEnabled());
}

TEST_F(MemoriesTest, ScanButtonsStayPutWhileThePortIsClosed)
{
    button(37)->click();
    port->setPortOpen(false);
    button(40)->click();
    EXPECT_TRUE(button(40)->isEnabled());
    EXPECT_FALSE(button(37)->isEnabled());
    EXPECT_EQ(port->writesWhileClosed, 0);
}

TEST_F(MemoriesTest, DwellAndStepSlidersSendAndShow)
{
    struct Case
    {
        int slider;
        int value;
        const char* line;
        int label;
        const char* readout;
    };
    const Case cases[] = {
        {6, 3, "SDW1.5\n", 10, "1.5secs"}, {6, 40, "SDW20\n", 10, "20secs"},
        {6, 1, "SDW0.5\n", 10, "0.5secs"}, {7, 25, "inc25\n", 11, "25kHz"},
        {7, 5, "inc5\n", 11, "5kHz"},
    };
    for (const Case& c : cases) {
        ui().HScroll[std::size_t(c.slider)]->setValue(c.value);
        EXPECT_EQ(port->takeWritten(), QByteArrayList{c.line});
        EXPECT_EQ(label(c.label), QString::fromLatin1(c.readout));
    }
}
