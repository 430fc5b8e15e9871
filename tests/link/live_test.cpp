// SPDX-License-Identifier: GPL-3.0-or-later
// The program's serial port and main window against the receiver simulator on a
// real pseudo-terminal.
#include "app/desk.h"
#include "link/qtserialport.h"
#include "shell/form1.h"
#include "sim_harness.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace rxdeck;
using namespace std::chrono_literals;

namespace {

// Lines the simulator received, from its log ("<time> <line>").
QStringList receivedLines(const QString& log)
{
    QFile file(log);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& entry : file.readAll().split('\n'))
        if (const int space = entry.indexOf(' '); space > 0)
            lines << QString::fromLatin1(entry.mid(space + 1));
    return lines;
}

template <typename Condition> bool waitFor(Condition condition, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}

class LiveTest : public ::testing::Test
{
protected:
    void start(std::vector<std::string> extra = {})
    {
        ASSERT_TRUE(dir.isValid());
        log = dir.filePath(QStringLiteral("sim.log"));
        std::vector<std::string> args = {"--seed", "3", "--log", log.toStdString()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<rxdeck::testing::SimulatorProcess>(args);
        const auto device = sim->readLine();
        ASSERT_TRUE(device.has_value());
        qputenv("RXDECK_COMM1", QByteArray::fromStdString(*device));
    }

    QTemporaryDir dir;
    QString log;
    std::unique_ptr<rxdeck::testing::SimulatorProcess> sim;
};

} // namespace

TEST_F(LiveTest, InputIncludesBytesTheSystemHasReceivedWithoutAnEventLoop)
{
    start();
    QtSerialPort port;
    port.setCommPort(1);
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_TRUE(port.input().isEmpty());
    port.output("FRQ?;DET?;SGV?;BWS?\n");
    QString reply;
    // No event loop runs here: input() must still see what arrived.
    for (int i = 0; i < 100 && !reply.endsWith(QStringLiteral("\r\n")); ++i) {
        QThread::msleep(10);
        reply += port.input();
    }
    EXPECT_EQ(reply.size(), 38) << reply.toStdString();
    EXPECT_TRUE(reply.startsWith(QStringLiteral("FRQ 14.200000;DET ")));
    EXPECT_TRUE(port.input().isEmpty()); // a read removes what it returns
}

TEST_F(LiveTest, ChoosingComm1RunsTheSnapshotAndThePollAgainstTheReceiver)
{
    start();
    Desk desk(std::make_unique<QtSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    const Controls& ui = desk.window().controls();
    ui.Comm[1]->trigger();
    ASSERT_TRUE(ui.Comm[1]->isChecked());

    ASSERT_TRUE(waitFor([&] { return ui.Timer[1]->isActive(); }));
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral(" 14.200.000"); }));
    EXPECT_EQ(ui.Text[5]->text(), QStringLiteral(" 14.200000"));
    // The simulator's scan settings reached the panel.
    EXPECT_EQ(ui.Text[1]->text(), QStringLiteral("07.000000"));
    EXPECT_EQ(ui.Label[10]->text(), QStringLiteral("2.5secs"));

    ASSERT_TRUE(waitFor(
        [&] { return receivedLines(log).count(QStringLiteral("FRQ?;DET?;SGV?;BWS?")) >= 10; }));
    const QStringList lines = receivedLines(log);
    EXPECT_EQ(lines.first(),
              QStringLiteral("RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?"));
    // The snapshot echoed the sliders it changed before the poll began.
    const int firstPoll = int(lines.indexOf(QStringLiteral("FRQ?;DET?;SGV?;BWS?")));
    const QStringList echoes = lines.mid(1, firstPoll - 1);
    EXPECT_TRUE(echoes.contains(QStringLiteral("SDW2.5")));
    EXPECT_TRUE(echoes.contains(QStringLiteral("inc5")));

    // A click goes out as one line.
    ui.Command[5]->click();
    ASSERT_TRUE(waitFor([&] { return receivedLines(log).contains(QStringLiteral("DET4")); }));
}

TEST_F(LiveTest, AReceiverThatVanishesLeavesTheProgramRunningAndShowingNoSerial)
{
    start();
    Desk desk(std::make_unique<QtSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    const Controls& ui = desk.window().controls();
    ui.Comm[1]->trigger();
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral(" 14.200.000"); }));

    sim.reset(); // the simulator exits and its pseudo-terminal goes away
    ASSERT_TRUE(waitFor([&] { return !desk.port().portOpen(); }));
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral("No serial"); }));
    // Every handler's guard now stops it; nothing crashes. "+1k" acts on the press
    // itself, so it is pressed with the mouse: a step would rewrite the working
    // frequency and start the repeat timer.
    QTest::mousePress(ui.Command[13], Qt::LeftButton);
    EXPECT_FALSE(ui.Timer[4]->isActive());
    QTest::qWait(300);
    QTest::mouseRelease(ui.Command[13], Qt::LeftButton);
    EXPECT_EQ(ui.Text[5]->text(), QStringLiteral(" 14.200000"));
    EXPECT_EQ(ui.Label[1]->text(), QStringLiteral("No serial"));

    // Back again: choosing the port reopens it and the display comes back.
    start();
    ui.Comm[1]->trigger();
    ASSERT_TRUE(desk.port().portOpen());
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral(" 14.200.000"); }));
}

TEST_F(LiveTest, AReceiverThatReturnsOnTheSamePathIsTakenUpAgainWithoutAClick)
{
    const QString link = dir.filePath(QStringLiteral("tty"));
    start({"--link", link.toStdString(), "--hangup-after", "1.5", "--return-after", "1.5"});
    qputenv("RXDECK_COMM1", link.toLocal8Bit());
    Desk desk(std::make_unique<QtSerialPort>(), dir.filePath(QStringLiteral("Memories.xls")));
    const Controls& ui = desk.window().controls();
    ui.Comm[1]->trigger();
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral(" 14.200.000"); }));

    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral("No serial"); }));
    const auto before = receivedLines(log).size();
    ASSERT_TRUE(sim->readLine(5s).has_value()) << "the simulator did not come back";
    ASSERT_TRUE(waitFor([&] { return ui.Label[1]->text() == QStringLiteral(" 14.200.000"); }));
    EXPECT_TRUE(desk.port().portOpen());

    // The new device heard the settings query first, then the status queries.
    ASSERT_TRUE(waitFor([&] {
        return receivedLines(log).mid(before).count(QStringLiteral("FRQ?;DET?;SGV?;BWS?")) >= 3;
    }));
    const QStringList after = receivedLines(log).mid(before);
    EXPECT_EQ(after.first(),
              QStringLiteral("RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?"));
}

TEST_F(LiveTest, AFailedOpenTellsAMissingDeviceFromOneInUse)
{
    start();
    QtSerialPort first;
    first.setCommPort(1);
    ASSERT_TRUE(first.setPortOpen(true));
    QtSerialPort second;
    second.setCommPort(1);
    EXPECT_FALSE(second.setPortOpen(true));
    EXPECT_EQ(second.openFailure().kind, OpenFailure::Kind::InUse);

    qputenv("RXDECK_COMM2", dir.filePath(QStringLiteral("absent")).toLocal8Bit());
    second.setCommPort(2);
    EXPECT_FALSE(second.setPortOpen(true));
    EXPECT_EQ(second.openFailure().kind, OpenFailure::Kind::NoSuchDevice);
    qunsetenv("RXDECK_COMM2");
}
