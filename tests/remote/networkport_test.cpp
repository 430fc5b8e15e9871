// SPDX-License-Identifier: GPL-3.0-or-later
// The network serial port against scripted peers on loopback: the telnet and RFC 2217
// conversation byte by byte, reads that wait for a line end, and the ways an open fails.
#include "link/portrecovery.h"
#include "link/qtserialport.h"
#include "remote/networkaddress.h"
#include "remote/networkserialport.h"
#include "remote/portrouter.h"
#include "support/tcppeer.h"
#include "support/windowfixture.h"

#include <QSignalSpy>

namespace rxdeck::remote {
namespace {

using namespace std::chrono_literals;

TEST(NetworkAddressTest, ReadsTheTwoFormsAndRefusesTheRest)
{
    using P = NetworkAddress::Protocol;
    const std::pair<const char*, std::optional<NetworkAddress>> cases[] = {
        {"socket://rx.example.org:4001", NetworkAddress{P::Raw, "rx.example.org", 4001}},
        {"RFC2217://192.168.1.20:2000/", NetworkAddress{P::Rfc2217, "192.168.1.20", 2000}},
        {"rfc2217://[fe80::1%eth0]:7000", NetworkAddress{P::Rfc2217, "fe80::1%eth0", 7000}},
        {"socket://[::1]:65535", NetworkAddress{P::Raw, "::1", 65535}},
        {"socket://::1:4001", std::nullopt},        // IPv6 without brackets
        {"socket://[rx.local]:4001", std::nullopt}, // a name in brackets
        {"socket://rx:0", std::nullopt},
        {"socket://rx:65536", std::nullopt},
        {"rfc2217://rx", std::nullopt},
        {"socket://rx:4001?timeout=3", std::nullopt},
    };
    for (const auto& [device, expected] : cases) {
        EXPECT_TRUE(isNetworkDevice(QString::fromLatin1(device))) << device;
        EXPECT_EQ(networkAddress(QString::fromLatin1(device)), expected) << device;
    }
    EXPECT_FALSE(isNetworkDevice(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_FALSE(networkAddress(QStringLiteral("/dev/socket://x:1")).has_value());
}

using Peer = test::TcpPeer; // a serial server played by the test, one connection at a time

std::string comPort(unsigned char command, const std::string& value)
{
    return "\xff\xfa\x2c" + std::string(1, char(command)) + value + "\xff\xf0";
}

const std::string willComPort("\xff\xfb\x2c");
const std::string baud9600("\x00\x00\x25\x80", 4);

TEST(NetworkPortTest, Rfc2217SetsTheFarPortRefusesOtherOptionsAndEscapesFF)
{
    Peer peer;
    NetworkSerialPort port;
    QSignalSpy opened{&port, &SerialPort::opened};
    QSignalSpy lost{&port, &SerialPort::lost};
    qputenv("RXDECK_COMM3", QStringLiteral("rfc2217://127.0.0.1:%1").arg(peer.port()).toLatin1());
    port.setCommPort(3);
    ASSERT_TRUE(port.setPortOpen(true)); // the address is read here
    qunsetenv("RXDECK_COMM3");
    // Waits for a line end; what the first non-empty read returned.
    const auto nextRead = [&] {
        QString text;
        QTest::qWaitFor([&] { return !(text = port.input()).isEmpty(); }, 5000);
        return text;
    };
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(peer.expect(willComPort));
    // The server agrees, and offers echo and asks for window size, which we decline.
    peer.send("\xff\xfd\x2c\xff\xfb\x01\xff\xfd\x1f");
    ASSERT_TRUE(peer.expect(comPort(1, baud9600)));
    for (const std::string& bytes : {comPort(2, "\x08"), comPort(3, "\x01"), comPort(4, "\x01"),
                                     std::string("\xff\xfe\x01"), std::string("\xff\xfc\x1f")})
        EXPECT_TRUE(peer.expect(bytes)) << ::testing::PrintToString(bytes);
    EXPECT_FALSE(port.portOpen()); // not before the far port confirms

    peer.send(comPort(101, baud9600) + comPort(102, "\x08") + comPort(103, "\x01") +
              comPort(104, "\x01"));
    ASSERT_TRUE(opened.wait(5000));
    EXPECT_TRUE(port.portOpen());

    // A reply with a 0xFF in it, and the start of the next one in the same segment.
    peer.send("FRQ\xff\xff 14\r\nSGV -07");
    EXPECT_EQ(nextRead(), QStringLiteral("FRQ\u00ff 14\r\n"));
    peer.send("3\r\n");
    EXPECT_EQ(nextRead(), QStringLiteral("SGV -073\r\n"));
    port.output("X\xffY\n");
    EXPECT_TRUE(peer.expect("X\xff\xffY\n"));

    peer.close();
    ASSERT_TRUE(lost.wait(5000));
    EXPECT_FALSE(port.portOpen());
}

// The whole program over the router, with the real local port beside the network one.
class NetworkDeskTest : public ::testing::Test
{
protected:
    NetworkDeskTest()
    {
        auto router = std::make_unique<PortRouter>(std::make_unique<QtSerialPort>());
        port = router.get();
        desk = std::make_unique<Desk>(std::move(router),
                                      workbookDir.filePath(QStringLiteral("Memories.xls")));
        window = &desk->window();
        window->setCaptureWarnings(true);
        QObject::connect(window, &Form1::warningShown,
                         [this](const QString&, const QString& reason) { reasons << reason; });
    }
    ~NetworkDeskTest() override { qunsetenv("RXDECK_COMM2"); }

    const Controls& ui() const { return window->controls(); }
    void choose(const QString& device)
    {
        qputenv("RXDECK_COMM2", device.toLatin1());
        ui().Comm[2]->trigger();
    }

    QTemporaryDir workbookDir;
    SerialPort* port = nullptr;
    std::unique_ptr<Desk> desk;
    Form1* window = nullptr;
    QStringList reasons;
};

TEST_F(NetworkDeskTest, FailedConnectionsEndInTheWarningWithTheirReasonAfterTheClickReturns)
{
    const int refusing = test::freePort();
    Peer peer; // a telnet server that declines, sets another baud rate or never answers
    const QString server = QStringLiteral("rfc2217://localhost:%1").arg(peer.port());
    const std::tuple<QString, std::optional<std::string>, const char*> cases[] = {
        {QStringLiteral("socket://127.0.0.1:%1").arg(refusing), {}, "Connection refused by"},
        {QStringLiteral("rfc2217://no-such-host.invalid:2000"), {}, "Host name not found"},
        {server, "\xff\xfe\x2c", "declined the COM-PORT option"},
        {server, "\xff\xfd\x2c" + comPort(101, std::string("\x00\x00\x4b\x00", 4)),
         "baud rate is 19200, not 9600"},
        {server, "", "no answer to the COM-PORT negotiation"},
    };
    for (const auto& [device, answer, reason] : cases) {
        reasons.clear();
        choose(device);
        // The click has returned without an answer: the window goes on meanwhile.
        EXPECT_TRUE(port->opening());
        EXPECT_TRUE(reasons.isEmpty());
        if (answer) {
            ASSERT_TRUE(peer.accept());
            ASSERT_TRUE(peer.expect(willComPort));
            peer.send(*answer);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reasons.isEmpty(); }, 15000))
            << device.toStdString();
        EXPECT_TRUE(reasons.front().contains(QLatin1StringView(reason)))
            << reasons.front().toStdString();
        EXPECT_TRUE(reasons.front().contains(device));
        EXPECT_FALSE(ui().Comm[2]->isChecked());
        EXPECT_FALSE(port->opening());
    }
}

TEST_F(NetworkDeskTest, ASilentPeerReadsAsNoSerialAndALostOneIsTriedOneConnectionAtATime)
{
    Peer peer;
    choose(QStringLiteral("socket://127.0.0.1:%1").arg(peer.port()));
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(peer.expect("RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?\n"));
    EXPECT_TRUE(ui().Comm[2]->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui().Label[1]->text() == "No serial"; }, 5000));

    // Lost, and the address now leads to a server that accepts and never negotiates. While
    // that try is under way, further ticks start no other connection, and nobody is warned.
    qputenv("RXDECK_COMM2", QStringLiteral("rfc2217://127.0.0.1:%1").arg(peer.port()).toLatin1());
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->opening(); }, 5000));
    for (int tick = 0; tick < 5; ++tick)
        window->findChild<PortRecovery*>()->retry();
    ASSERT_TRUE(peer.accept());
    QTest::qWait(500);
    EXPECT_FALSE(peer.connectionWaiting());
    EXPECT_TRUE(reasons.isEmpty());
}

} // namespace
} // namespace rxdeck::remote
