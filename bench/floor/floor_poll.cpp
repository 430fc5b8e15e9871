// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the poll-cost measurement: a bare window whose only work is a
// 100 ms timer that writes the status query to a serial port and reads the answer.
#include <QApplication>
#include <QSerialPort>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor poll"));
    window.resize(953, 568);
    window.show();

    QSerialPort port(qEnvironmentVariable("RXDECK_COMM1"));
    port.setBaudRate(QSerialPort::Baud9600);
    if (!port.open(QIODevice::ReadWrite))
        return 1;
    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        port.write("FRQ?;DET?;SGV?;BWS?\n");
        port.readAll();
    });
    timer.start();
    return app.exec();
}
