#include "link/qtserialport.h"
#include "memories/list/workbookpath.h"
#include "shell/form1.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rxdeck"));
    QApplication::setApplicationVersion(QStringLiteral("2.2.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Front panel for the Watkins-Johnson WJ-8712 HF receiver on a serial line.\n\n"
        "The Serial port menu's items Comm1 to Comm4 open /dev/ttyS0 to /dev/ttyS3, or the\n"
        "device named in the environment variable RXDECK_COMM1 to RXDECK_COMM4, for example\n"
        "RXDECK_COMM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    rxdeck::Form1 window(std::make_unique<rxdeck::QtSerialPort>(),
                         rxdeck::memories::memoriesWorkbookPath());
    window.show();
    return app.exec();
}
