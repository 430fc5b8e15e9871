#include "link/qtserialport.h"
#include "memories/list/workbookpath.h"
#include "shell/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rxdeck"));
    QApplication::setApplicationVersion(QStringLiteral("2.2.0"));

    rxdeck::Form1 window(std::make_unique<rxdeck::QtSerialPort>(),
                         rxdeck::memories::memoriesWorkbookPath());
    window.show();
    return app.exec();
}
