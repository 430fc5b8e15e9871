// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include <gtest/gtest.h>

using rxdeck::takeNetworkControl;

TEST(CommandLine, RigctldMeansWhatItSays)
{
    struct Case
    {
        QStringList arguments; // after the program name
        bool asked;
        int port;              // 0: none
        QStringList rewritten; // what the parser then sees, after the program name
    };
    const Case cases[] = {
        {{}, false, 0, {}},
        {{"--rigctld"}, true, 4532, {"--rigctld=4532"}},
        {{"--rigctld", "4633"}, true, 4633, {"--rigctld=4633"}},
        {{"--rigctld=4633"}, true, 4633, {"--rigctld=4633"}},
        {{"--rigctld", "--help"}, true, 4532, {"--rigctld=4532", "--help"}},
        {{"--rigctld=4533", "--rigctld", "4534"}, true, 4534, {"--rigctld=4533", "--rigctld=4534"}},
        {{"--rigctld", "port"}, true, 0, {"--rigctld=port"}},
        {{"--rigctld", "0"}, true, 0, {"--rigctld=0"}},
        {{"--rigctld=65536"}, true, 0, {"--rigctld=65536"}},
        {{"--rigctld="}, true, 0, {"--rigctld="}},
        {{"--", "--rigctld"}, false, 0, {"--", "--rigctld"}},
    };
    for (const Case& c : cases) {
        QStringList arguments = QStringList{"rxdeck"} + c.arguments;
        const auto request = takeNetworkControl(arguments, 4532);
        const QString name = c.arguments.join(u' ');
        EXPECT_EQ(request.asked, c.asked) << name.toStdString();
        EXPECT_EQ(request.port.value_or(0), c.port) << name.toStdString();
        EXPECT_EQ(arguments, QStringList{"rxdeck"} + c.rewritten) << name.toStdString();
    }
}
