// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest entry point with a QCoreApplication, which QProcess and QSaveFile expect.

#include <gtest/gtest.h>
#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
