// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/form1.h"

#include "link/portrecovery.h"
#include "memories/list/memorygrid.h"
#include "memories/list/memorylistmodel.h"
#include "memories/workbook/workbook.h"
#include "netcontrol/rigctlserver.h"
#include "panel/statuspoll.h"
#include "shell/led.h"
#include "shell/slider.h"
#include "support/files.h"
#include "support/panelprobe.h"
#include "support/windowfixture.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

using namespace rxdeck;
using namespace rxdeck::test;

TEST_F(WindowTest, StartsWithThePanelAtRest)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tamsk     Rxdeck  V2.2"));
    EXPECT_EQ(label(1), QStringLiteral("Serial port?"));
    EXPECT_EQ(ui().Text[2]->text(), QStringLiteral("7.000"));
    EXPECT_EQ(ui().Text[5]->text(), QStringLiteral("Text5"));
    EXPECT_TRUE(ui().Text[5]->isHidden());
    EXPECT_FALSE(ui().Command[40]->isEnabled());
    EXPECT_TRUE(ui().Command[37]->isEnabled());
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(ui().Comm[std::size_t(n)]->isChecked()) << n;
    for (std::size_t n = 1; n <= 12; ++n)
        EXPECT_FALSE(ui().Timer[n]->isActive()) << n;
    for (int n : {2, 5, 6, 7, 8, 10, 11})
        EXPECT_TRUE(label(n).isEmpty()) << n;
    const std::pair<int, int> sliderStarts[] = {{1, 100}, {2, 0}, {3, 0}, {4, 0},
                                                {5, 136}, {6, 1}, {7, 1}};
    for (auto [n, value] : sliderStarts)
        EXPECT_EQ(ui().HScroll[std::size_t(n)]->value(), value) << n;
    EXPECT_TRUE(port->written.isEmpty());
}

TEST(WindowMenus, SerialPortItemsShowTheirDevice)
{
    qputenv("RXDECK_COMM1", "/dev/ttyUSB7");
    QTemporaryDir dir;
    Desk desk(std::make_unique<FakeSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    const Controls& ui = desk.window().controls();
    EXPECT_EQ(ui.Comm[1]->text(), QStringLiteral("Comm1"));
    EXPECT_EQ(ui.Comm[1]->statusTip(), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(ui.Comm[4]->text(), QStringLiteral("Comm4"));
    EXPECT_FALSE(ui.Comm[4]->statusTip().isEmpty());
    qunsetenv("RXDECK_COMM1");
}

TEST_F(WindowTest, PanelGeometryFollowsTheDesign)
{
    // Positions in twips at 15 to the pixel.
    EXPECT_EQ(window->centralWidget()->size(), QSize(953, 568));
    for (int n : {27, 31, 32, 33})
        EXPECT_EQ(ui().Command[std::size_t(n)]->size(), QSize(9, 9)) << n;
    // Each store square sits on the top-left corner of its recall button, its lowest
    // row over the button's top edge.
    const std::pair<int, int> pairs[] = {{27, 28}, {31, 29}, {32, 30}, {33, 34}};
    for (auto [store, recall] : pairs) {
        const QRect s = ui().Command[std::size_t(store)]->geometry();
        const QRect r = ui().Command[std::size_t(recall)]->geometry();
        EXPECT_EQ(s.left(), r.left());
        EXPECT_EQ(s.bottom(), r.top());
    }
    EXPECT_EQ(ui().Command[13]->text(), QStringLiteral("+1k"));
    EXPECT_EQ(ui().Command[12]->text(), QStringLiteral("300Hz"));
}

TEST_F(WindowTest, WithoutAPortNothingIsSentOrShown)
{
    // Every slider moved, every button pressed and released with the mouse (the step
    // buttons act on the press itself, which click() never delivers): nothing goes out.
    for (std::size_t n = 1; n <= 7; ++n)
        clickArrow(ui().HScroll[n], true);
    const QString working = ui().Text[5]->text();
    for (QPushButton* button : ui().Command)
        if (button && button->isEnabled())
            QTest::mouseClick(button, Qt::LeftButton);
    ui().Timer[1]->timeout({});
    EXPECT_TRUE(port->written.isEmpty());
    EXPECT_EQ(port->writesWhileClosed, 0);
    EXPECT_EQ(ui().Text[5]->text(), working);
    for (std::size_t n = 2; n <= 11; ++n)
        EXPECT_FALSE(ui().Timer[n]->isActive()) << n;
    EXPECT_EQ(label(1), QStringLiteral("Serial port?"));
    for (int n : {2, 5, 6, 7, 8, 10, 11})
        EXPECT_TRUE(label(n).isEmpty()) << n;
    // The sliders moved all the same.
    EXPECT_EQ(ui().HScroll[2]->value(), 100);
}

TEST_F(WindowTest, ChoosingAPortOpensItAndAsksForSettings)
{
    ui().Comm[3]->trigger();
    EXPECT_EQ(port->commPort(), 3);
    EXPECT_TRUE(port->portOpen());
    EXPECT_EQ(port->takeWritten(),
              QByteArrayList{"RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?\n"});
    EXPECT_TRUE(ui().Timer[12]->isActive());
    EXPECT_FALSE(ui().Timer[1]->isActive());
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(ui().Comm[std::size_t(n)]->isChecked(), n == 3) << n;
}

TEST_F(WindowTest, ASilentReceiverIsAskedAgainOnEveryTick)
{
    choosePort(1);
    for (int tick = 0; tick < 3; ++tick) {
        ui().Timer[12]->timeout({});
        EXPECT_EQ(label(1), QStringLiteral("No serial"));
        EXPECT_EQ(port->takeWritten(),
                  QByteArrayList{"RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?\n"});
    }
    EXPECT_TRUE(ui().Timer[12]->isActive());
    EXPECT_FALSE(ui().Timer[1]->isActive());
}

// No port is open afterwards, and the panel says so as at start-up: no mark, "Serial
// port?", the meter at rest.
TEST_F(WindowTest, AFailedOpenWarnsOnceAndShowsNoPortOpen)
{
    QStringList warnings;
    QObject::connect(window, &Form1::warningShown,
                     [&](const QString& text, const QString&) { warnings << text; });
    completeSnapshot(QStringLiteral("x"));
    port->replies = {rxdeck::test::statusReply("14.200000", "4", "-60.0", "2")};
    ui().Timer[1]->timeout({});
    port->unavailable = {2};
    ui().Comm[2]->trigger();
    EXPECT_EQ(warnings, QStringList{QStringLiteral(
                            "Port not available. Change the CommPort property to another port.")});
    EXPECT_FALSE(port->portOpen());
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(ui().Comm[std::size_t(n)]->isChecked()) << n;
    EXPECT_EQ(label(1), QStringLiteral("Serial port?"));
    EXPECT_TRUE(ui().Text[3]->text().isEmpty());
    EXPECT_TRUE(rxdeck::test::litLamps(ui(), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}).empty());
    port->takeWritten();
    EXPECT_FALSE(ui().Timer[12]->isActive());
    EXPECT_TRUE(port->written.isEmpty());
    // Closed now: the panel sends nothing.
    ui().Command[5]->click();
    ui().Timer[1]->timeout({});
    EXPECT_TRUE(port->written.isEmpty());
}

TEST_F(WindowTest, SnapshotFillsThePanelAndEchoesChangedSliders)
{
    completeSnapshot(rxdeck::test::settingsReply("2", "1", "07.000000", "07.300000", "100", "05",
                                                 "02.5", "10.000", "+1000", "-0500"));
    EXPECT_EQ(rxdeck::test::litLamps(ui(), {19, 20, 21}), std::vector<int>{20});
    EXPECT_EQ(label(8), QStringLiteral("Slow"));
    EXPECT_EQ(ui().Text[1]->text(), QStringLiteral("07.000000"));
    EXPECT_EQ(ui().Text[4]->text(), QStringLiteral("07.300000"));
    EXPECT_EQ(label(2), QStringLiteral("-100dBm"));
    EXPECT_EQ(label(7), QStringLiteral("5"));
    EXPECT_EQ(ui().HScroll[6]->value(), 5);
    EXPECT_EQ(label(10), QStringLiteral("2.5secs"));
    EXPECT_EQ(label(11), QStringLiteral("10kHz"));
    EXPECT_EQ(label(6), QStringLiteral("1000Hz"));
    EXPECT_EQ(label(5), QStringLiteral("-500Hz"));
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"SQL100\n", "BLK5\n", "SDW2.5\n", "inc10\n",
                                                   "PBT1000\n", "BFO-500\n"}));
    EXPECT_FALSE(ui().Timer[12]->isActive());
    EXPECT_TRUE(ui().Timer[1]->isActive());
    EXPECT_EQ(label(1), QStringLiteral("Serial port?")); // left for the poll to write

    // A second snapshot with the same values echoes nothing.
    completeSnapshot(rxdeck::test::settingsReply("2", "1", "07.000000", "07.300000", "100", "05",
                                                 "02.5", "10.000", "+1000", "-0500"));
    EXPECT_TRUE(port->written.isEmpty());
}

TEST_F(WindowTest, SnapshotSkipsFieldsItCannotUse)
{
    // RF path 4 and AGC 9 change nothing; squelch 200 is out of range; the blanker
    // field is not a number; the rest still applies.
    completeSnapshot(rxdeck::test::settingsReply("4", "9", "07.000000", "07.300000", "200", "xx",
                                                 "00.7", "05.000", "+0000", "+0000"));
    EXPECT_TRUE(rxdeck::test::litLamps(ui(), {19, 20, 21}).empty());
    EXPECT_TRUE(label(8).isEmpty());
    EXPECT_EQ(ui().HScroll[5]->value(), 136);
    EXPECT_TRUE(label(2).isEmpty());
    EXPECT_TRUE(label(7).isEmpty());
    EXPECT_EQ(ui().HScroll[6]->value(), 1); // 1.4 rounds to 1, no change, no echo
    EXPECT_EQ(label(10), QStringLiteral("0.7secs"));
    EXPECT_EQ(label(11), QStringLiteral("5kHz"));
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"inc5\n"});
    EXPECT_TRUE(ui().Timer[1]->isActive());
}

TEST_F(WindowTest, SnapshotOfStrayTextNeverFails)
{
    for (const QString& stray : {QStringLiteral("x"), QString(300, QChar(u'\xff')),
                                 QStringLiteral("RFP 1;AGC 2;RFG 100;FRA 07.0")}) {
        completeSnapshot(stray);
        EXPECT_TRUE(ui().Timer[1]->isActive());
        EXPECT_FALSE(ui().Timer[12]->isActive());
        for (const QByteArray& line : port->takeWritten())
            EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1) << line.constData();
    }
}

TEST_F(WindowTest, StatusPollShowsTheReceiver)
{
    completeSnapshot(QStringLiteral("x"));
    port->replies = {rxdeck::test::statusReply("14.200000", "4", "-100.0", "2")};
    ui().Timer[1]->timeout({});
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ?;DET?;SGV?;BWS?\n"});
    EXPECT_EQ(ui().Text[5]->text(), QStringLiteral(" 14.200000"));
    EXPECT_EQ(label(1), QStringLiteral(" 14.200.000"));
    EXPECT_EQ(ui().Text[3]->text(), QStringLiteral("-100 dBm"));
    EXPECT_EQ(rxdeck::test::litLamps(ui(), {1, 14, 15, 16, 17, 18}), std::vector<int>{16});
    EXPECT_EQ(rxdeck::test::litLamps(ui(), {22, 23, 24, 25, 26}), std::vector<int>{23});
    EXPECT_EQ(rxdeck::test::litLamps(ui(), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}),
              (std::vector<int>{2, 3, 4, 5, 6}));

    // Nothing arrived: "No serial" and the meter at rest, everything else kept.
    ui().Timer[1]->timeout({});
    EXPECT_EQ(label(1), QStringLiteral("No serial"));
    EXPECT_EQ(ui().Text[5]->text(), QStringLiteral(" 14.200000"));
    EXPECT_EQ(rxdeck::test::litLamps(ui(), {1, 14, 15, 16, 17, 18}), std::vector<int>{16});
    EXPECT_TRUE(ui().Text[3]->text().isEmpty());
    EXPECT_TRUE(rxdeck::test::litLamps(ui(), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}).empty());

    // A piece of a reply, and replies whose fields a lost or added byte has shifted or
    // spoiled, change nothing and say no "No serial"; each is counted in the port's tooltip.
    const QString good = rxdeck::test::statusReply("14.200000", "4", "-100.0", "2");
    for (const QString& bad :
         {QStringLiteral("FR"), QString(good).remove(6, 1), QString(good).insert(6, u'\xff'),
          QString(good).replace(4, 2, QStringLiteral("31")),
          QString(good).replace(24, 4, QStringLiteral("-x0.")), QString(good).remove(17, 1)}) {
        port->replies = {rxdeck::test::statusReply("07.000000", "4", "-100.0", "2"), bad};
        ui().Timer[1]->timeout({});
        ui().Timer[1]->timeout({});
        EXPECT_EQ(ui().Text[5]->text(), QStringLiteral(" 07.000000")) << bad.toStdString();
        EXPECT_EQ(label(1), QStringLiteral(" 07.000.000")) << bad.toStdString();
    }
    EXPECT_THAT(ui().Comm[1]->toolTip().toStdString(),
                ::testing::EndsWith("\n6 corrupt or incomplete replies ignored"));
}

TEST_F(WindowTest, ReselectionKeepsThePollRunning)
{
    completeSnapshot(QStringLiteral("x"));
    ui().Comm[2]->trigger();
    EXPECT_TRUE(ui().Timer[1]->isActive());
    EXPECT_TRUE(ui().Timer[12]->isActive());
    EXPECT_EQ(port->opens, 2);
    EXPECT_EQ(port->commPort(), 2);
    // The poll reads the settings reply and the snapshot the status reply: each is handed
    // to its own decoder, and the panel never shows the settings reply as a frequency.
    const QString before = label(1);
    port->replies = {rxdeck::test::settingsReply("1", "2", "07.000000", "07.300000", "136", "00",
                                                 "00.5", "01.000", "+0000", "+0000"),
                     rxdeck::test::statusReply("07.123456", "1", "-60.0", "5")};
    port->takeWritten();
    ui().Timer[1]->timeout({});
    EXPECT_EQ(label(1), before);
    ui().Timer[12]->timeout({});
    EXPECT_FALSE(ui().Timer[12]->isActive());
    EXPECT_EQ(label(8), QStringLiteral("Fast"));
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"FRQ?;DET?;SGV?;BWS?\n"});
    ui().Timer[1]->timeout({});
    EXPECT_EQ(label(1), QStringLiteral(" 07.123.456"));
}

// Whatever waited on the line before the port opened is not an answer: nothing is echoed
// from it.
TEST_F(WindowTest, SnapshotIgnoresWhatWaitedBeforeTheOpen)
{
    const auto settings = [](const char* step) {
        return rxdeck::test::settingsReply("1", "1", "07.000000", "07.300000", "000", "00", "02.5",
                                           step, "+0000", "+0000");
    };
    port->replies = {settings("07.000")};
    choosePort(1);
    port->replies.append(settings("05.000"));
    ui().Timer[12]->timeout({});
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"SQL0\n", "SDW2.5\n", "inc5\n"}));
}

TEST_F(WindowTest, ALostPortStopsEverythingAndSaysNoSerial)
{
    completeSnapshot(QStringLiteral("x"));
    port->failWrites = true;
    ui().Timer[1]->timeout({});
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(label(1), QStringLiteral("No serial"));
    ui().Command[41]->click();
    ui().Timer[1]->timeout({});
    EXPECT_EQ(port->writesWhileClosed, 0);
    // Choosing the port again reopens it.
    port->failWrites = false;
    ui().Comm[1]->trigger();
    EXPECT_TRUE(port->portOpen());
    EXPECT_TRUE(ui().Timer[12]->isActive());
}

TEST_F(WindowTest, FourSlidersSendTheirLinesAndReadouts)
{
    completeSnapshot(QStringLiteral("x"));
    struct Case
    {
        int slider;
        bool right;
        bool track;
        const char* line;
        int label;
        const char* readout;
    };
    const Case cases[] = {
        {2, true, false, "PBT100\n", 6, "+100Hz"},
        {2, false, true, "PBT0\n", 6, "0Hz"},
        {2, false, true, "PBT-100\n", 6, "-100Hz"},
        {3, true, false, "BFO50\n", 5, "+50Hz"},
        {3, true, true, "BFO250\n", 5, "+250Hz"},
        {4, true, false, "BLK1\n", 7, "1"},
        // The squelch bar runs from 136 at the left to 0 at the right.
        {5, true, false, "SQL135\n", 2, "-135dBm"},
        {5, true, true, "SQL125\n", 2, "-125dBm"},
        {5, false, false, "SQL126\n", 2, "-126dBm"},
    };
    for (const Case& c : cases) {
        Slider* slider = ui().HScroll[std::size_t(c.slider)];
        c.track ? clickTrack(slider, c.right) : clickArrow(slider, c.right);
        EXPECT_EQ(port->takeWritten(), QByteArrayList{c.line}) << c.line;
        EXPECT_EQ(label(c.label), QString::fromLatin1(c.readout)) << c.line;
    }
}

TEST_F(WindowTest, ResetSendsOnceAtZeroAndTwiceOtherwise)
{
    completeSnapshot(QStringLiteral("x"));
    ui().Command[41]->click();
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"BFO0\n"});
    ui().HScroll[3]->setValue(300);
    port->takeWritten();
    ui().Command[41]->click();
    EXPECT_EQ(port->takeWritten(), (QByteArrayList{"BFO0\n", "BFO0\n"}));
    EXPECT_EQ(label(5), QStringLiteral("0Hz"));
    EXPECT_EQ(ui().HScroll[3]->value(), 0);
}

TEST_F(WindowTest, SquelchEndsAndKeyboard)
{
    completeSnapshot(QStringLiteral("x"));
    Slider* squelch = ui().HScroll[5];
    squelch->setValue(0);
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"SQL0\n"});
    EXPECT_EQ(label(2), QStringLiteral("-0dBm"));
    // The Home key takes the thumb to the left end, which is 136.
    squelch->bar()->setFocus();
    QTest::keyClick(squelch->bar(), Qt::Key_Home);
    EXPECT_EQ(port->takeWritten(), QByteArrayList{"SQL136\n"});
    EXPECT_EQ(label(2), QStringLiteral("-136dBm"));
    // Setting the value it already has runs nothing.
    squelch->setValue(136);
    EXPECT_TRUE(port->written.isEmpty());
}

TEST(WindowStatusBar, SaysWhetherNetworkControlRuns)
{
    QTemporaryDir dir;
    Desk first(std::make_unique<FakeSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    Desk second(std::make_unique<FakeSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    const auto shown = [](const Desk& desk) {
        return desk.window().findChild<QLabel*>(QStringLiteral("networkControl"))->text();
    };
    ASSERT_TRUE(first.startNetworkControl(0));
    const quint16 port = first.networkControl()->port();
    EXPECT_EQ(shown(first),
              QStringLiteral("Network control on 127.0.0.1:%1, no programs connected").arg(port));

    // The port is taken: the second says so and runs on without a server.
    QString error;
    EXPECT_FALSE(second.startNetworkControl(port, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(second.networkControl(), nullptr);
    EXPECT_TRUE(
        shown(second).startsWith(QStringLiteral("Network control off: 127.0.0.1:%1").arg(port)))
        << shown(second).toStdString();
}

TEST_F(WindowTest, StatusPollPublishesWhatItDecoded)
{
    completeSnapshot(QStringLiteral("x"));
    std::vector<ReceiverStatus> published;
    QObject::connect(&desk->statusPoll(), &StatusPoll::statusDecoded,
                     [&](const ReceiverStatus& status) { published.push_back(status); });
    port->replies = {rxdeck::test::statusReply("07.123456", "5", "-100.0", "2"),
                     rxdeck::test::statusReply("14.200000", "9", " -60", "0")};
    for (int tick = 0; tick < 4; ++tick)
        ui().Timer[1]->timeout({});
    ASSERT_EQ(published.size(), 2u); // the empty reads publish nothing
    EXPECT_EQ(published[0].frequencyHz, 7123456);
    EXPECT_EQ(published[0].mode, 5);
    EXPECT_EQ(published[0].bandwidth, 2);
    EXPECT_EQ(published[0].signalDbm, -100);
    EXPECT_EQ(published[1].frequencyHz, 14200000);
    EXPECT_EQ(published[1].mode, 0); // digits out of range read 0
    EXPECT_EQ(published[1].bandwidth, 0);
    EXPECT_EQ(published[1].signalDbm, -60);
}

TEST_F(WindowTest, TheWheelMovesNoSlider)
{
    completeSnapshot(QStringLiteral("x"));
    const auto readouts = [this] {
        QStringList texts;
        for (int n : {2, 5, 6, 7, 8, 10, 11})
            texts << label(n);
        return texts;
    };
    const QStringList before = readouts();
    for (std::size_t n = 1; n <= 7; ++n) {
        QScrollBar* bar = ui().HScroll[n]->bar();
        const int position = bar->value();
        // Both ways, so a slider at one end would still have moved the other way.
        for (const int notch : {-120, 120, 120}) {
            const QPointF centre = QRectF(bar->rect()).center();
            QWheelEvent wheel(centre, bar->mapToGlobal(centre), {}, {0, notch}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
        }
        EXPECT_EQ(bar->value(), position) << n;
    }
    EXPECT_TRUE(port->written.isEmpty()) << port->written.join(' ').constData();
    EXPECT_EQ(readouts(), before);
}

// Ports that fail to open or go away.
class PortTroubleTest : public WindowTest
{
protected:
    PortTroubleTest()
    {
        QObject::connect(window, &Form1::warningShown,
                         [this](const QString&, const QString& reason) { reasons << reason; });
    }

    PortRecovery& recovery() const { return *window->findChild<PortRecovery*>(); }

    // Comm1 polling, then its device gone.
    void loseComm1()
    {
        completeSnapshot(QStringLiteral("x"));
        port->lose();
        port->unavailable = {1};
        port->takeWritten();
    }

    QStringList reasons; // the line below each warning shown
};

TEST_F(PortTroubleTest, TheWarningSaysWhyBelowItsText)
{
    qputenv("RXDECK_COMM2", "/dev/ttyUSB3");
    port->unavailable = {2};
    const std::pair<OpenFailure::Kind, const char*> cases[] = {
        {OpenFailure::Kind::NoSuchDevice, "No such device: /dev/ttyUSB3."},
        {OpenFailure::Kind::PermissionDenied, "/dev/ttyUSB3: add your user to the \"dialout\""},
        {OpenFailure::Kind::InUse, "/dev/ttyUSB3 is in use by another program."},
    };
    for (auto [kind, expected] : cases) {
        port->failure = {kind, {}};
        ui().Comm[2]->trigger();
        ASSERT_FALSE(reasons.isEmpty());
        EXPECT_TRUE(reasons.last().contains(QString::fromUtf8(expected)))
            << reasons.last().toStdString();
    }
    EXPECT_EQ(reasons.size(), 3);
    qunsetenv("RXDECK_COMM2");
}

TEST_F(PortTroubleTest, TheLostPortReopensAsIfChosenOnceItsDeviceIsBack)
{
    loseComm1();
    ASSERT_TRUE(recovery().trying());
    recovery().retry();
    EXPECT_FALSE(port->portOpen());
    // Back, but gone again at the first write.
    port->unavailable.clear();
    port->failWrites = true;
    recovery().retry();
    EXPECT_TRUE(recovery().trying());

    port->failWrites = false;
    recovery().retry();
    EXPECT_TRUE(port->portOpen());
    EXPECT_EQ(port->commPort(), 1);
    EXPECT_EQ(port->takeWritten(),
              QByteArrayList{"RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?\n"});
    EXPECT_TRUE(ui().Timer[12]->isActive());
    EXPECT_TRUE(ui().Comm[1]->isChecked());
    EXPECT_FALSE(recovery().trying());
    EXPECT_TRUE(reasons.isEmpty()); // the tries are quiet
}

TEST_F(PortTroubleTest, ChoosingAnItemDecidesWhetherTheTriesGoOn)
{
    // The same item chosen again while its device is away: warned, and still tried.
    loseComm1();
    ui().Comm[1]->trigger();
    EXPECT_EQ(reasons.size(), 1);
    EXPECT_TRUE(recovery().trying());

    // Another item, even one that fails: the tries stop and port 1 is left alone.
    port->unavailable = {1, 2};
    ui().Comm[2]->trigger();
    EXPECT_FALSE(recovery().trying());
    const int attempts = port->openAttempts;
    recovery().retry();
    EXPECT_EQ(port->openAttempts, attempts);
}

TEST_F(PortTroubleTest, AnHourWithoutTheDeviceLeavesNothingBehind)
{
    loseComm1();
    const auto activeTimers = [this] {
        const auto timers = window->findChildren<QTimer*>();
        return std::count_if(timers.begin(), timers.end(), [](auto* t) { return t->isActive(); });
    };
    const auto objects = window->findChildren<QObject*>().size();
    const auto timers = activeTimers();
    const int attempts = port->openAttempts;
    for (int second = 0; second < 3600; ++second)
        recovery().retry();
    QCoreApplication::processEvents();
    EXPECT_EQ(port->openAttempts - attempts, 3600);
    EXPECT_EQ(window->findChildren<QObject*>().size(), objects);
    EXPECT_EQ(activeTimers(), timers);
    EXPECT_TRUE(port->written.isEmpty());
    EXPECT_TRUE(reasons.isEmpty());
    EXPECT_TRUE(recovery().trying());
}

namespace {

// Answers the next message box with a key once it is open, and returns its text when done.
std::shared_ptr<QString> answerBox(std::function<void(QMessageBox*)> answer)
{
    auto text = std::make_shared<QString>();
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, text, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        poll->stop();
        poll->deleteLater();
        *text = box->text();
        answer(box);
    });
    poll->start();
    return text;
}

} // namespace

// Another program deletes the memory being typed in, then the window is closed: the typing
// is neither lost silently nor written over another memory. The window stays open with the
// message until the user chooses to close without saving.
TEST_F(WindowTest, ClosingWithAChangeThatCannotBeSavedAsksFirst)
{
    memories::MemoryGrid& grid = desk->memoryGrid();
    window->show();
    QApplication::processEvents();
    QTableView* view = grid.view();
    const auto type = [view](const char* text) {
        for (; *text != '\0'; ++text)
            QTest::keyClick(view->focusWidget() ? view->focusWidget() : view, *text);
    };
    view->setFocus();
    view->setCurrentIndex(grid.model()->index(0, memories::MemoryListModel::FreqColumn));
    type("7.05");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QApplication::processEvents();
    const QString path = workbookDir.filePath(QStringLiteral("Memories.xls"));
    ASSERT_TRUE(QFileInfo::exists(path));

    view->setCurrentIndex(grid.model()->index(0, memories::MemoryListModel::NoteColumn));
    type("net");
    const workbook::Workbook theirs{{{QStringLiteral("Sheet1"),
                                      {{QStringLiteral("Frequency"), QStringLiteral("Note")},
                                       {14.2, QStringLiteral("theirs")}}}}};
    ASSERT_TRUE(workbook::write(path, theirs).ok);

    auto asked = answerBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    window->close(); // Escape: keep working
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(asked->contains("\"7.05\"")) << asked->toStdString();
    EXPECT_EQ(grid.model()->pendingRow(), 1); // below their memory, not on it
    EXPECT_EQ(grid.currentCellText(), "net");

    // Another program leaves a file that cannot be read: the change cannot be saved.
    rxdeck::test::putFile(path, "not a workbook");
    asked = answerBox([](QMessageBox* box) {
        for (QAbstractButton* button : box->buttons())
            if (button->text() == "&Close without saving") {
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Space);
            }
    });
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(asked->contains("could not be read")) << asked->toStdString();
    EXPECT_EQ(rxdeck::test::fileContents(path), "not a workbook");
}
