// SPDX-License-Identifier: GPL-3.0-or-later
// The panel from the keyboard at the real window: each shortcut works wherever the focus is and
// sends what the mouse would; a mistyped frequency sends nothing; Select tunes the current row's
// frequency with its note current, and a deleted memory comes back with Ctrl+Z; a port that fails
// to open leaves the display as at start-up.
#include "desk_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace rxdeck::e2e {
namespace {

// The frequency lines sent from index `from` on, polls left out.
Lines sentSince(const TrafficLog& log, std::size_t from)
{
    const Lines lines = log.lines();
    return withoutStatusQueries(
        Lines(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()));
}

// Presses each of the blank-separated keys in turn.
void pressKeys(const std::string& keys)
{
    std::size_t from = 0;
    while (from < keys.size()) {
        const std::size_t end = std::min(keys.find(' ', from), keys.size());
        xdo::key(keys.substr(from, end - from));
        from = end + 1;
    }
}

TEST_F(DeskTest, ShortcutsWorkWhereverTheFocusIs)
{
    startSimulator();
    startProgram();
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(5, 0)) << "the status poll did not start";
    panel().typeInto(controls::LowLimit, "7.1");
    panel().typeInto(controls::HighLimit, "7.2");

    // Each step starts from the frequency the poll has read back by then: the last one sent.
    struct Key
    {
        const char* keys;
        const Twips* focus; // clicked first
        double step;        // MHz; 0 for a line of its own
        const char* line;
    };
    const Key keys[] = {
        {"ctrl+Up", &controls::DirectEntry, 0.001, nullptr},
        {"ctrl+Down", &controls::LowLimit, -0.001, nullptr},
        {"ctrl+Prior", &controls::DirectEntry, 0.1, nullptr},
        {"ctrl+Next", &controls::HighLimit, -0.1, nullptr},
        {"ctrl+shift+Up", &controls::DirectEntry, 0.0001, nullptr},
        {"ctrl+shift+Down", &controls::LowLimit, -0.0001, nullptr},
        {"F7", &controls::DirectEntry, 0, "FRA0;FRB7.2;FRA7.1;SCF2;OPR1"},
        {"F8", &controls::LowLimit, 0, "OPR0"},
        {"ctrl+Return", &controls::HighLimit, 0, "FRQ7.000"},
        {"ctrl+l 1 4 period 2 5 ctrl+Return", &controls::LowLimit, 0, "FRQ14.25"},
        // Right on a focused slider moves it right: the gain (the control Tab reaches from
        // the memory list, itself reached with Ctrl+M) up one step from 100.
        {"ctrl+m Tab Right", nullptr, 0, "AGC0;RFG105"},
    };
    double frequency = 14.2;
    for (const Key& key : keys) {
        if (key.focus)
            panel().click(*key.focus);
        ASSERT_TRUE(traffic().waitForPolls(3, received()));
        const std::size_t mark = received();
        pressKeys(key.keys);
        char expected[32];
        if (key.step != 0) {
            frequency += key.step;
            std::snprintf(expected, sizeof expected, "FRQ%.10g", std::round(frequency * 1e5) / 1e5);
        }
        const std::string line = key.step != 0 ? expected : key.line;
        EXPECT_TRUE(traffic().waitForLine(line, mark)) << key.keys << ": " << line;
        ASSERT_TRUE(traffic().waitForPolls(3, mark));
        EXPECT_EQ(sentSince(traffic(), mark), Lines{line}) << key.keys;
        if (line.starts_with("FRQ14.25"))
            frequency = 14.25;
    }
    expectWellFormedTrafficAndProgramAlive();
}

TEST_F(DeskTest, MistypedFrequenciesSendNothingAndMemoriesWorkFromTheKeyboard)
{
    startSimulator();
    startProgram();
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(5, 0)) << "the status poll did not start";

    for (const char* typed : {"14,2", "14200", "abc", "35"}) {
        panel().typeInto(controls::DirectEntry, typed);
        const std::size_t mark = received();
        panel().click(controls::SetFreq);
        ASSERT_TRUE(traffic().waitForPolls(4, mark));
        EXPECT_TRUE(sentSince(traffic(), mark).empty()) << typed;
    }

    // A memory whose note starts with a number: with the note current, Select tunes the
    // row's frequency.
    xdo::key("ctrl+m");
    xdo::type("7.055");
    pressKeys("Return Right");
    xdo::type("20 m SSB calling frequency for the net");
    pressKeys("Return Down Up");
    std::size_t mark = received();
    xdo::key("F5");
    EXPECT_TRUE(traffic().waitForLine("FRQ7.055", mark));
    ASSERT_TRUE(traffic().waitForPolls(3, mark));
    EXPECT_EQ(sentSince(traffic(), mark), Lines{"FRQ7.055"});

    // Deleted from the keyboard, the memory is gone (Select finds the empty row); Ctrl+Z
    // brings it back, current again.
    pressKeys("shift+space Delete");
    mark = received();
    xdo::key("F5");
    ASSERT_TRUE(traffic().waitForPolls(3, mark));
    EXPECT_TRUE(sentSince(traffic(), mark).empty());
    xdo::key("ctrl+z");
    mark = received();
    xdo::key("F5");
    EXPECT_TRUE(traffic().waitForLine("FRQ7.055", mark)) << "the delete was not undone";
    expectWellFormedTrafficAndProgramAlive();
}

TEST_F(DeskTest, APortThatFailsToOpenLeavesTheDisplayAsAtStartUp)
{
    setenv("RXDECK_COMM2", "/nonexistent/rxdeck-no-such-device", 1);
    startSimulator();
    startProgram();
    unsetenv("RXDECK_COMM2");
    const int startupWidth = panel().textWidth(controls::Label1); // "Serial port?"
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(5, 0)) << "the status poll did not start";
    ASSERT_TRUE(traffic().waitUntil(
        [&](const Lines&) { return panel().textWidth(controls::Label1) != startupWidth; }, 3s));

    panel().choose(Menu::SerialPort, 1);
    std::this_thread::sleep_for(500ms);
    xdo::key("Return"); // the warning's OK
    const std::size_t mark = received();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(received(), mark) << "a closed port sent";
    EXPECT_EQ(panel().textWidth(controls::Label1), startupWidth);
    keepScreenshot();
    EXPECT_TRUE(panel().alive());
}

} // namespace
} // namespace rxdeck::e2e
