// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the main window polling the receiver on RXDECK_COMM1 for a given time, with
// the port chosen in code, so a profiler can see where a poll tick's time goes.
// Usage: poll_profile SECONDS
#include "app/desk.h"
#include "link/qtserialport.h"
#include "shell/form1.h"

#include <cstdio>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Counts paint events per widget once the poll has settled, so a profile can be
// told apart from start-up painting.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && counting)
            ++counts[QStringLiteral("%1 %2").arg(
                QString::fromLatin1(watched->metaObject()->className()), watched->objectName())];
        return false;
    }
    bool counting = false;
    QMap<QString, int> counts;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTemporaryDir dir;
    rxdeck::Desk desk(std::make_unique<rxdeck::QtSerialPort>(),
                      dir.filePath(QStringLiteral("Memories.xls")));
    rxdeck::Form1& window = desk.window();
    window.show();
    window.controls().Comm[1]->trigger();
    PaintCounter counter;
    if (qEnvironmentVariableIsSet("RXDECK_COUNT_PAINTS")) {
        app.installEventFilter(&counter);
        QTimer::singleShot(3000, [&] { counter.counting = true; });
    }
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    const int result = app.exec();
    for (auto it = counter.counts.cbegin(); it != counter.counts.cend(); ++it)
        std::printf("%6d %s\n", it.value(), qPrintable(it.key()));
    return result;
}
