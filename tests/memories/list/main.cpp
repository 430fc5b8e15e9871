// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv)
{
    // The widget tests need no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rxdeck"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
