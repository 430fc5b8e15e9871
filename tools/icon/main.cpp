// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's icon into a hicolor icon theme tree for installation:
// DIR/NxN/apps/rxdeck.png for each size given. Runs at build time on the
// offscreen platform.
#include "shell/appicon.h"

#include <cstdio>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv); // pixmaps need one
    const QStringList arguments = QGuiApplication::arguments().mid(1);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: rxdeck-icon DIR SIZE...\n");
        return 2;
    }
    const QDir root(arguments.front());
    for (const QString& argument : arguments.mid(1)) {
        bool ok = false;
        const int size = argument.toInt(&ok);
        if (!ok || size < 1) {
            std::fprintf(stderr, "rxdeck-icon: bad size %s\n", qPrintable(argument));
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = root.filePath(folder + QStringLiteral("/rxdeck.png"));
        if (!root.mkpath(folder) || !rxdeck::appIconPixmap(size).save(path, "PNG")) {
            std::fprintf(stderr, "rxdeck-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
