// SPDX-License-Identifier: GPL-3.0-or-later
// The Signal menu in the real window: the signal log and the band sweep.

#include "desk_fixture.h"

#include <gmock/gmock.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace rxdeck::e2e {
namespace {

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// Waits until the file holds `text` after `from`; returns where it ends, or none.
std::optional<std::size_t> waitForText(const std::filesystem::path& path, const std::string& text,
                                       std::size_t from = 0)
{
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::stringstream content;
        content << std::ifstream(path).rdbuf();
        if (const std::size_t at = content.str().find(text, from); at != std::string::npos)
            return at + text.size();
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

TEST_F(DeskTest, SignalLogFollowsTheSignalAsItChanges)
{
    const auto folder = device().parent_path();
    const auto levels = folder / "signals.txt";
    const auto log = folder / "signal.csv";
    writeFile(levels, "10=-50\n");
    startSimulator({"--signals", levels.string()});
    startProgram({"--signal-log", log.string()});
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));
    const std::size_t mark = received();
    panel().typeInto(controls::DirectEntry, "10");
    panel().click(controls::SetFreq);
    ASSERT_TRUE(traffic().waitForLine("FRQ10", mark));

    const auto header = waitForText(log, "time_utc,frequency_hz,mode,bandwidth_hz,signal_dbm\n");
    ASSERT_TRUE(header) << "no header";
    const auto strong = waitForText(log, ",10000000,", *header);
    ASSERT_TRUE(strong);
    EXPECT_TRUE(waitForText(log, "-50.0\n", *strong));
    writeFile(levels, "10=-70\n");
    const auto weak = waitForText(log, "-70.0\n", *strong);
    ASSERT_TRUE(weak) << "the log never showed the new level";
    EXPECT_TRUE(waitForText(log, ",10000000,", *weak)) << "rows stopped after the change";
    expectWellFormedTrafficAndProgramAlive();
}

TEST_F(DeskTest, WindowSweepEndsOnTheFrequencyItStartedFrom)
{
    startSimulator({"--signal-at", "14.01=-60"});
    startProgram();
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));
    std::size_t mark = received();
    panel().typeInto(controls::DirectEntry, "7.1");
    panel().click(controls::SetFreq);
    ASSERT_TRUE(traffic().waitForLine("FRQ7.1", mark));
    // The sweep takes the panel's scan limits.
    panel().typeInto(controls::LowLimit, "14");
    panel().typeInto(controls::HighLimit, "14.02");

    mark = received();
    panel().choose(Menu::Signal, 2);
    std::vector<WindowId> windows;
    ASSERT_TRUE(traffic().waitUntil(
        [&](const Lines&) { return !(windows = panel().windowsNamed("^Band sweep$")).empty(); },
        5s));
    xdo::key("alt+s");
    // Tunes from the low limit up, then back to where it was; then the poll goes on.
    Lines tunes;
    ASSERT_TRUE(traffic().waitUntil(
        [&](const Lines& lines) {
            tunes.clear();
            for (std::size_t i = mark; i < lines.size(); ++i)
                if (lines[i].starts_with("FRQ") && !lines[i].starts_with("FRQ?"))
                    tunes.push_back(lines[i]);
            return tunes.size() >= 2 && tunes.back() == "FRQ7.1";
        },
        20s))
        << ::testing::PrintToString(tunes);
    EXPECT_EQ(tunes.front(), "FRQ14");
    EXPECT_THAT(tunes, ::testing::Contains("FRQ14.02"));
    EXPECT_TRUE(traffic().waitForPolls(3, received())) << "the poll did not come back";
    keepScreenshot();
    expectWellFormedTrafficAndProgramAlive();
}

TEST_F(DeskTest, AStepFromThePanelStopsTheSweepAndStepsFromWhereItWas)
{
    startSimulator();
    startProgram();
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));
    panel().typeInto(controls::LowLimit, "3");
    panel().typeInto(controls::HighLimit, "30");
    const std::size_t mark = received();
    panel().choose(Menu::Signal, 2);
    std::vector<WindowId> windows;
    ASSERT_TRUE(traffic().waitUntil(
        [&](const Lines&) { return !(windows = panel().windowsNamed("^Band sweep$")).empty(); },
        5s));
    xdo::moveTo(windows.front(), QPoint(960, 0)); // off the panel's buttons
    xdo::key("alt+s");
    ASSERT_TRUE(traffic().waitForLine("FRQ3.05", mark, 10s));
    panel().click(controls::Plus1k);
    ASSERT_TRUE(traffic().waitForPolls(3, received()));
    Lines tunes;
    for (const std::string& line : traffic().lines())
        if (line.starts_with("FRQ") && !line.starts_with("FRQ?"))
            tunes.push_back(line);
    // Back to 14.2 MHz first, then the step from there; the sweep took no more steps.
    ASSERT_GE(tunes.size(), 2u);
    EXPECT_THAT(std::vector(tunes.end() - 2, tunes.end()),
                ::testing::ElementsAre("FRQ14.2", "FRQ14.201"));
    expectWellFormedTrafficAndProgramAlive();
}

} // namespace
} // namespace rxdeck::e2e
