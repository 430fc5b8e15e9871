// SPDX-License-Identifier: GPL-3.0-or-later
// The network port through Debian's ser2net to the simulator's pseudo-terminal: RFC 2217 sets
// the far port to 9600 8N1 whatever ser2net's own setting, and replies come whole.
#include "remote/networkserialport.h"
#include "ser2net.h"
#include "sim_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>
#include <termios.h>
#include <unistd.h>

namespace rxdeck::remote {
namespace {

using namespace std::chrono_literals;

termios settingsOf(const std::string& device)
{
    termios settings{};
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ::tcgetattr(fd, &settings);
    ::close(fd);
    return settings;
}

TEST(Ser2netPortTest, Rfc2217SetsTheFarPortTo9600EightNoneOne)
{
    if (!testing::Ser2net::installed())
        GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
    const QTemporaryDir folder;
    rxdeck::testing::SimulatorProcess simulator({"--seed", "7"});
    const auto device = simulator.readLine(10s);
    ASSERT_TRUE(device.has_value());
    // ser2net opens the device at 19200 baud, 7 data bits, even parity, 2 stop bits.
    testing::Ser2net server(folder.path().toStdString(), *device, "19200e72");
    ASSERT_TRUE(server.start());

    qputenv("RXDECK_COMM4",
            QStringLiteral("rfc2217://localhost:%1").arg(server.rfc2217Port()).toLatin1());
    NetworkSerialPort port;
    QSignalSpy opened(&port, &SerialPort::opened);
    port.setCommPort(4);
    ASSERT_TRUE(port.setPortOpen(true));
    ASSERT_TRUE(opened.wait(10000)) << port.openFailure().systemText.toStdString();
    const termios settings = settingsOf(*device);
    EXPECT_EQ(::cfgetospeed(&settings), speed_t(B9600));
    EXPECT_EQ(::cfgetispeed(&settings), speed_t(B9600));
    EXPECT_EQ(settings.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

    port.output("FRQ?;DET?;SGV?;BWS?\n");
    QString reply;
    QTest::qWaitFor([&] { return !(reply += port.input()).isEmpty(); }, 5000);
    EXPECT_TRUE(reply.startsWith(QStringLiteral("FRQ 14.200000;DET "))) << reply.toStdString();
    EXPECT_TRUE(reply.endsWith(QStringLiteral("\r\n"))) << reply.toStdString();
    qunsetenv("RXDECK_COMM4");
}

} // namespace
} // namespace rxdeck::remote
