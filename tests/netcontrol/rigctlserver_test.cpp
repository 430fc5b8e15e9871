// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/linepacer.h"
#include "netcontrol/rigctlserver.h"
#include "support/fakeserialport.h"
#include "support/tcppeer.h"

#include <gtest/gtest.h>
#include <QTest>

using namespace rxdeck;
using namespace rxdeck::netcontrol;
using rxdeck::test::FakeSerialPort;

namespace {

// A program at the other end of the connection: sends bytes and collects the reply until it
// holds `lines` line ends (a timeout shows as a short reply).
class Client : public rxdeck::test::TcpPeer
{
public:
    using TcpPeer::TcpPeer;
    std::string ask(std::string_view bytes, int lines = 1)
    {
        send(bytes);
        return receive(lines);
    }
};

class ServerTest : public ::testing::Test
{
protected:
    ServerTest()
    {
        port.setPortOpen(true);
        EXPECT_TRUE(server.listen(0));
        server.updateStatus({14200000, 4, 3, -100});
    }

    FakeSerialPort port;
    RigctlServer server{port, QStringLiteral("1.2.3")};
};

} // namespace

TEST(LinePacer, SendsTheFirstLineAtOnceAndThenOnlyTheNewestOfEachKind)
{
    FakeSerialPort port;
    port.setPortOpen(true);
    LinePacer pacer(port);
    for (int khz = 7000; khz < 7020; ++khz)
        pacer.submit({LineKind::Frequency, "FRQ" + QByteArray::number(khz / 1000.0) + '\n'});
    pacer.submit({LineKind::Mode, "DET5;BWS3\n"});
    EXPECT_EQ(port.written, QByteArrayList{"FRQ7\n"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pacer.hasPending(); }));
    EXPECT_EQ(port.written, (QByteArrayList{"FRQ7\n", "FRQ7.019\n", "DET5;BWS3\n"}));

    // With the port closed nothing goes out, as a click would send nothing.
    port.setPortOpen(false);
    pacer.submit({LineKind::Frequency, "FRQ8\n"});
    pacer.submit({LineKind::Frequency, "FRQ9\n"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pacer.hasPending(); }));
    EXPECT_EQ(port.written.size(), 3);
    EXPECT_EQ(port.writesWhileClosed, 0);
}

TEST_F(ServerTest, AnswersFromTheStatusAndSendsSetsToThePort)
{
    Client client(server.port());
    EXPECT_EQ(client.ask("f\nl STRENGTH\n", 2), "14200000\n-27\n");
    server.noteQuerySent(4);
    EXPECT_EQ(client.ask("F 14074000\r\nf\n", 2), "RPRT 0\n14074000\n");
    EXPECT_EQ(port.written, QByteArrayList{"FRQ14.074\n"});
    // The line went out before query 5: replies to queries 0..4 predate it and a garbled
    // reply says nothing, so the value set holds; the answer to query 5 is the receiver's.
    for (const ReceiverStatus& stale :
         {ReceiverStatus{14200000, 4, 3, -100, 3}, ReceiverStatus{14200000, 4, 3, -100, 4},
          ReceiverStatus{0, 0, 0, 0, 5}})
        server.updateStatus(stale);
    EXPECT_EQ(client.ask("f\nm\n", 3), "14074000\nUSB\n3200\n");
    server.updateStatus({7000000, 5, 2, -60, 5});
    EXPECT_EQ(client.ask("f\nm\n", 3), "7000000\nLSB\n1000\n");
    EXPECT_EQ(
        server.statusText(),
        QStringLiteral("Network control on 127.0.0.1:%1, 1 program connected").arg(server.port()));

    // No port: nothing to answer from and nowhere to send.
    port.setPortOpen(false);
    EXPECT_EQ(client.ask("f\nF 7000000\n", 2), "RPRT -6\nRPRT -6\n");
    EXPECT_EQ(port.written.size(), 1);
    EXPECT_EQ(port.writesWhileClosed, 0);
}

// A level a client set reads back until the panel shows a newer value; the line goes out
// through the pacer like any other set.
TEST_F(ServerTest, ALevelSetHoldsUntilThePanelShowsANewerValue)
{
    server.setSetting(Setting::Squelch, 136);
    Client client(server.port());
    EXPECT_EQ(client.ask("L SQL 0.5\nl SQL\n", 2), "RPRT 0\n0.500000\n");
    EXPECT_EQ(port.written, QByteArrayList{"SQL68\n"});
    // Status replies do not carry the squelch: the value set holds through them.
    server.noteQuerySent(9);
    server.updateStatus({14200000, 4, 3, -100, 9});
    EXPECT_EQ(client.ask("l SQL\n"), "0.500000\n");
    server.setSetting(Setting::Squelch, 34);
    EXPECT_EQ(client.ask("l SQL\n"), "0.750000\n");
}
