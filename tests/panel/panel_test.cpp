// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/tuning.h"

#include "support/panelprobe.h"
#include "support/windowfixture.h"

#include <QLineEdit>
#include <QPushButton>

using namespace rxdeck;
using namespace rxdeck::test;

namespace {

class PanelTest : public WindowTest
{
protected:
    PanelTest() { completeSnapshot(QStringLiteral("x")); }

    void setWorking(const QString& text) { ui().Text[5]->setText(text); }
    QString working() const { return ui().Text[5]->text(); }
    QPushButton* button(int n) const { return ui().Command[std::size_t(n)]; }
};

} // namespace

TEST_F(PanelTest, OneShortClickTakesOneStep)
{
    setWorking(QStringLiteral(" 14.200000"));
    QTest::mouseClick(button(13), Qt::LeftButton);
    EXPECT_EQ(working(), QStringLiteral("14.201"));
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ14.201\n"});
    EXPECT_FALSE(ui().Timer[4]->isActive());
}

TEST_F(PanelTest, EveryStepButtonStepsByItsOwnAmount)
{
    struct Case
    {
        int button;
        int timer;
        const char* from;
        const char* to;
    };
    const Case cases[] = {
        {35, 10, "7", "7.1"},
        {36, 11, "7", "6.9"},
        {21, 2, " 14.200000", "14.209"},
        {22, 3, "14.2", "14.191"},
        {13, 4, "14.2", "14.201"},
        {14, 5, "", "-0.001"},
        {15, 6, "7.1234", "7.1235"},
        {16, 7, "7.1234", "7.1233"},
        {17, 8, "7", "7.00001"},
        {18, 9, " 14.200000", "14.19999"},
    };
    for (const Case& c : cases) {
        setWorking(QString::fromLatin1(c.from));
        QTest::mousePress(button(c.button), Qt::LeftButton);
        EXPECT_TRUE(ui().Timer[std::size_t(c.timer)]->isActive()) << c.button;
        QTest::mouseRelease(button(c.button), Qt::LeftButton);
        EXPECT_FALSE(ui().Timer[std::size_t(c.timer)]->isActive()) << c.button;
        EXPECT_EQ(working(), QString::fromLatin1(c.to)) << c.button;
        EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ" + QByteArray(c.to) + "\n"}) << c.button;
    }
}

TEST_F(PanelTest, AHeldButtonRepeatsFromWhateverTheWorkingFrequencyIsThen)
{
    setWorking(QStringLiteral("14.2"));
    QTest::mousePress(button(22), Qt::LeftButton); // "-9k"
    ui().Timer[3]->timeout({});
    // A status reply lands between two ticks; the next step starts from it.
    setWorking(QStringLiteral(" 14.100000"));
    ui().Timer[3]->timeout({});
    QTest::mouseRelease(button(22), Qt::LeftButton);
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"FRQ14.191\n", "FRQ14.182\n", "FRQ14.091\n"}));
    EXPECT_FALSE(ui().Timer[3]->isActive());
}

TEST_F(PanelTest, AnyMouseButtonStepsButTheKeyboardDoesNot)
{
    setWorking(QStringLiteral("7"));
    QTest::mouseClick(button(35), Qt::RightButton);
    QTest::mouseClick(button(35), Qt::MiddleButton);
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"FRQ7.1\n", "FRQ7.2\n"}));
    button(35)->setFocus();
    QTest::keyClick(button(35), Qt::Key_Space);
    QTest::keyClick(button(35), Qt::Key_Return);
    button(35)->click();
    EXPECT_TRUE(port->written.isEmpty());
    EXPECT_EQ(working(), QStringLiteral("7.2"));
}

TEST_F(PanelTest, WithThePortClosedNothingStepsAndTheReleaseStillStopsTheRepeat)
{
    setWorking(QStringLiteral("7"));
    QTest::mousePress(button(13), Qt::LeftButton);
    port->setPortOpen(false); // e.g. the device vanished while the button was held
    ui().Timer[4]->timeout({});
    QTest::mouseRelease(button(13), Qt::LeftButton);
    EXPECT_FALSE(ui().Timer[4]->isActive());
    EXPECT_EQ(working(), QStringLiteral("7.001"));
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ7.001\n"});

    QTest::mousePress(button(13), Qt::LeftButton);
    EXPECT_FALSE(ui().Timer[4]->isActive());
    QTest::mouseRelease(button(13), Qt::LeftButton);
    EXPECT_EQ(working(), QStringLiteral("7.001"));
    EXPECT_EQ(port->writesWhileClosed, 0);
}

TEST_F(PanelTest, SetFreqSendsTheTypedTextAndLeavesTheWorkingFrequency)
{
    setWorking(QStringLiteral(" 07.000000"));
    ui().Text[2]->setText(QStringLiteral("14.250"));
    button(1)->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ14.250\n"});
    EXPECT_EQ(working(), QStringLiteral(" 07.000000"));
    // Enter in the entry box does not press it.
    QTest::keyClick(ui().Text[2], Qt::Key_Return);
    EXPECT_TRUE(port->written.isEmpty());
}

TEST_F(PanelTest, ModeBandwidthAgcAndPathButtonsSendTheirLines)
{
    struct Case
    {
        int button;
        const char* line;
    };
    const Case cases[] = {{2, "DET1"},  {3, "DET2"},  {4, "DET3"},  {5, "DET4"},
                          {6, "DET5"},  {7, "DET6"},  {12, "BWS1"}, {8, "BWS2"},
                          {9, "BWS3"},  {10, "BWS4"}, {11, "BWS5"}, {19, "AGC1"},
                          {20, "AGC2"}, {24, "RFP1"}, {25, "RFP2"}, {26, "RFP3"}};
    for (const Case& c : cases) {
        button(c.button)->click();
        EXPECT_EQ(port->takeWritten(), QByteArrayList{QByteArray(c.line) + "\n"}) << c.line;
    }
}

TEST_F(PanelTest, ModeAndBandwidthLampsWaitForTheReceiver)
{
    button(5)->click();  // "USB"
    button(12)->click(); // "300Hz"
    EXPECT_TRUE(litLamps(ui(), {1, 14, 15, 16, 17, 18, 22, 23, 24, 25, 26}).empty());
    port->replies = {statusReply("14.200000", "4", "-100.0", "1")};
    ui().Timer[1]->timeout({});
    EXPECT_EQ(litLamps(ui(), {1, 14, 15, 16, 17, 18}), std::vector<int>{16});
    EXPECT_EQ(litLamps(ui(), {22, 23, 24, 25, 26}), std::vector<int>{22});
}

TEST_F(PanelTest, RfPathLampsChangeBeforeTheLineGoesOut)
{
    std::vector<int> litWhenSent;
    port->onOutput = [&](const QByteArray&) { litWhenSent = litLamps(ui(), {19, 20, 21}); };
    ui().LED[19]->setLit(true);
    ui().LED[21]->setLit(true);
    button(25)->click(); // "Attenuated"
    EXPECT_EQ(litWhenSent, std::vector<int>{20});
    EXPECT_EQ(litLamps(ui(), {19, 20, 21}), std::vector<int>{20});
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"RFP2\n"});
}

TEST_F(PanelTest, AgcReadoutAndManualGain)
{
    clickArrow(ui().HScroll[1], true);
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"AGC0;RFG105\n"});
    EXPECT_EQ(label(8), QStringLiteral("Manual"));
    ui().HScroll[1]->setValue(60);
    button(19)->click();
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"AGC0;RFG60\n", "AGC1\n"}));
    EXPECT_EQ(label(8), QStringLiteral("Slow"));
    EXPECT_EQ(ui().HScroll[1]->value(), 60);
    button(20)->click();
    EXPECT_EQ(label(8), QStringLiteral("Fast"));
    ui().HScroll[1]->setValue(0);
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"AGC2\n", "AGC0;RFG0\n"}));
    // The right end is 127: a further arrow click changes nothing and sends nothing.
    ui().HScroll[1]->setValue(127);
    port->takeWritten();
    clickArrow(ui().HScroll[1], true);
    EXPECT_TRUE(port->written.isEmpty());
}

TEST_F(PanelTest, ClosedPortLeavesLampsAndLabels)
{
    port->setPortOpen(false);
    for (int n : {24, 25, 26, 19, 20, 5, 12})
        button(n)->click();
    clickArrow(ui().HScroll[1], true);
    EXPECT_TRUE(litLamps(ui(), {19, 20, 21}).empty());
    EXPECT_TRUE(label(8).isEmpty());
    EXPECT_EQ(port->writesWhileClosed, 0);
}
