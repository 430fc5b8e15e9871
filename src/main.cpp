// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/programinfo.h"
#include "app/commandline.h"
#include "app/desk.h"
#include "app/signalwatchcontrol.h"
#include "link/portmap.h"
#include "link/qtserialport.h"
#include "memories/list/workbookpath.h"
#include "netcontrol/rigctlserver.h"
#include "remote/portrouter.h"
#include "shell/form1.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <QApplication>
#include <QCommandLineParser>

namespace {

// Whether the command line only asks for text, which needs no display.
bool wantsTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    // Help and version print and exit from the parser before any window exists.
    const std::unique_ptr<QCoreApplication> app =
        wantsTextOnly(argc, argv) ? std::make_unique<QCoreApplication>(argc, argv)
                                  : std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rxdeck"));
    QApplication::setApplicationVersion(rxdeck::rxdeckInfo().versionNumber());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Front panel for the Watkins-Johnson WJ-8712 HF receiver on a serial line.\n\n"
        "The Serial port menu's items Comm1 to Comm4 open /dev/ttyS0 to /dev/ttyS3, or the\n"
        "device named in the environment variable RXDECK_COMM1 to RXDECK_COMM4, for example\n"
        "RXDECK_COMM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\n\n"
        "A receiver behind a serial server on the network (ser2net, an Ethernet serial\n"
        "server) is named by its address instead:\n"
        "  RXDECK_COMM1=socket://HOST:PORT   raw TCP\n"
        "  RXDECK_COMM1=rfc2217://HOST:PORT  telnet with RFC 2217, which sets the far port\n"
        "                                    to 9600 baud 8N1\n"
        "HOST is a name, an IPv4 address or an IPv6 address in brackets, e.g.\n"
        "RXDECK_COMM2=rfc2217://[fd00::17]:3001"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption rigctld(
        QStringLiteral("rigctld"),
        QStringLiteral("Let other radio programs read and tune the receiver through Hamlib's "
                       "\"NET rigctl\" (rigctld) protocol, on this computer only (127.0.0.1 "
                       "and ::1). --rigctld alone listens on port 4532."),
        QStringLiteral("PORT"));
    parser.addOption(rigctld);
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Open serial port N (1 to 4, the Serial port menu's CommN) at start. "
                       "Without it Rxdeck opens the port that the menu's \"Open at start\" "
                       "remembers, or none."),
        QStringLiteral("N"));
    parser.addOption(portOption);
    const QCommandLineOption signalLog(
        QStringLiteral("signal-log"),
        QStringLiteral("Append a CSV row for each status reply to FILE (the Signal menu's "
                       "\"Record signal log\"): time_utc,frequency_hz,mode,bandwidth_hz,"
                       "signal_dbm."),
        QStringLiteral("FILE"));
    parser.addOption(signalLog);

    QStringList arguments = QCoreApplication::arguments();
    const rxdeck::NetworkControlRequest network =
        rxdeck::takeNetworkControl(arguments, rxdeck::netcontrol::RigctlServer::defaultPort);
    parser.process(arguments);
    if (network.asked && !network.port) {
        std::fprintf(stderr, "rxdeck: --rigctld wants a port from 1 to 65535, not \"%s\"\n",
                     qPrintable(network.badValue));
        return 2;
    }
    const std::optional<quint16> networkPort = network.port;
    std::optional<int> startPort;
    if (parser.isSet(portOption)) {
        bool valid = false;
        const int n = parser.value(portOption).toInt(&valid);
        if (!valid || n < 1 || n > rxdeck::commPortCount) {
            std::fprintf(stderr, "rxdeck: --port wants a port from 1 to %d, not \"%s\"\n",
                         rxdeck::commPortCount, qPrintable(parser.value(portOption)));
            return 2;
        }
        startPort = n;
    }

    rxdeck::Desk desk(
        std::make_unique<rxdeck::remote::PortRouter>(std::make_unique<rxdeck::QtSerialPort>()),
        rxdeck::memories::memoriesWorkbookPath());
    if (networkPort) {
        QString error;
        if (!desk.startNetworkControl(*networkPort, &error))
            std::fprintf(stderr, "rxdeck: network control not started: %s\n", qPrintable(error));
    }
    if (parser.isSet(signalLog)) {
        QString error;
        if (!desk.signalWatch().startLog(parser.value(signalLog), &error))
            std::fprintf(stderr, "rxdeck: signal log not started: %s: %s\n",
                         qPrintable(parser.value(signalLog)), qPrintable(error));
    }
    desk.window().show();
    desk.openAtStart(startPort);
    return QCoreApplication::exec();
}
