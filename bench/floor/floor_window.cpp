// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the start-up measurement: a bare main window with a menu bar.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor window"));
    window.menuBar()->addMenu(QStringLiteral("Serial port"))->addAction(QStringLiteral("Comm1"));
    window.menuBar()->addMenu(QStringLiteral("Help"))->addAction(QStringLiteral("About"));
    window.resize(953, 608);
    window.show();
    return app.exec();
}
