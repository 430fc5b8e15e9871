// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/portmap.h"

#include <gtest/gtest.h>

using rxdeck::commDevice;

TEST(CommDevice, EnvironmentNamesTheDeviceOtherwiseTheSystemsSerialPort)
{
    qunsetenv("RXDECK_COMM2");
    qputenv("RXDECK_COMM3", "/dev/ttyUSB0");
#ifdef Q_OS_WIN
    EXPECT_EQ(commDevice(2), QStringLiteral("COM2"));
#else
    EXPECT_EQ(commDevice(2), QStringLiteral("/dev/ttyS1"));
#endif
    EXPECT_EQ(commDevice(3), QStringLiteral("/dev/ttyUSB0"));
    // An empty setting counts as none.
    qputenv("RXDECK_COMM3", "");
    EXPECT_NE(commDevice(3), QString());
    qunsetenv("RXDECK_COMM3");
}
