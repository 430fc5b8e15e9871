// SPDX-License-Identifier: GPL-3.0-or-later
// The memory scan in the real window, against the simulator with a fixed signal on some
// memories: where it stops, how long it holds, what it passes over, what stops it, what it logs.
#include "desk_fixture.h"

#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

namespace rxdeck::e2e {
namespace {

namespace fs = std::filesystem;

// One memory of the list and what the scan must make of it.
struct Memory
{
    std::string frequency, note, skip;
    std::string signalFirst; // dBm at the simulator from the start; "" for the noise floor
    std::string signalLater; // once the first stop's signal has gone
    bool tuned;              // the scan sends its frequency command
    bool logged;             // one Activity.csv row, in list order
};

// The threshold is -90 dBm and the hang time 1 s (see settings below).
const Memory memories[] = {
    {"7.05", "Net", "", "-60", "", true, true},          // stops, holds, goes on once it drops
    {"7.1", "Quiet", "", "", "", true, false},           // passed after one fresh reply
    {"7.15", "Locked", "x", "-50", "-50", false, false}, // Skip column: never tuned
    {"not a frequency", "Bad", "", "", "", false, false},
    {"7.2", "Later", "", "", "-70", true, true}, // stops when its signal comes; a step ends it
    {"7.25", "Never reached", "", "", "", false, false},
};

class MemoryScanTest : public DeskTest
{
protected:
    void writeSignals(std::string Memory::*level)
    {
        std::ofstream out(folder() / "signals.txt", std::ios::trunc);
        for (const Memory& m : memories)
            if (!(m.*level).empty())
                out << m.frequency << '=' << (m.*level) << '\n';
    }

    // The frequency commands sent from index `from` on.
    Lines tunes(std::size_t from = 0) const
    {
        Lines lines;
        const Lines all = traffic().lines();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i].starts_with("FRQ") && !all[i].starts_with("FRQ?"))
                lines.push_back(all[i]);
        return lines;
    }

    bool waitForTune(const std::string& line)
    {
        return traffic().waitUntil(
            [&](const Lines&) {
                const Lines sent = tunes();
                return !sent.empty() && sent.back() == line;
            },
            10s);
    }

    // Twenty poll ticks go by without another frequency command: the scan holds (or stopped).
    void expectNoTuneAfter(const std::string& line)
    {
        const std::size_t from = received();
        ASSERT_TRUE(traffic().waitForPolls(20, from));
        EXPECT_THAT(tunes(from), ::testing::IsEmpty()) << "after " << line;
        EXPECT_EQ(tunes().back(), line);
    }
};

TEST_F(MemoryScanTest, StopsOnlyOnSignalsHoldsResumesSkipsAndLogs)
{
    std::vector<std::vector<std::string>> rows{{"Frequency", "Note", "Skip"}};
    for (const Memory& m : memories)
        rows.push_back({m.frequency, m.note, m.skip});
    writeMemories(rows);
    fs::create_directories(dataFolder().parent_path() / "config" / "Rxdeck");
    std::ofstream(dataFolder().parent_path() / "config" / "Rxdeck" / "Rxdeck.conf")
        << "[memoryScan]\nthreshold=level\nlevelDbm=-90\nhangMs=1000\ndwellMs=0\n";
    writeSignals(&Memory::signalFirst);

    startSimulator({"--signals", (folder() / "signals.txt").string()});
    startProgram();
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));

    // Keys go to the window under the pointer.
    panel().click(controls::Label1);
    xdo::key("ctrl+shift+s");
    ASSERT_TRUE(waitForTune("FRQ7.05")) << ::testing::PrintToString(tunes());
    expectNoTuneAfter("FRQ7.05");

    writeSignals(&Memory::signalLater);
    ASSERT_TRUE(waitForTune("FRQ7.2")) << ::testing::PrintToString(tunes());
    expectNoTuneAfter("FRQ7.2");

    panel().click(controls::Plus1k);
    ASSERT_TRUE(waitForTune("FRQ7.201"));
    expectNoTuneAfter("FRQ7.201");

    Lines expectedTunes;
    std::vector<std::string> expectedLog;
    for (const Memory& m : memories) {
        if (m.tuned)
            expectedTunes.push_back("FRQ" + m.frequency);
        if (m.logged) {
            std::ostringstream mhz;
            mhz.setf(std::ios::fixed);
            mhz.precision(6);
            mhz << std::stod(m.frequency);
            expectedLog.push_back(mhz.str() + "," + m.note + "," +
                                  (m.signalFirst.empty() ? m.signalLater : m.signalFirst) + ".0");
        }
    }
    expectedTunes.push_back("FRQ7.201");
    EXPECT_EQ(tunes(), expectedTunes);

    // time_utc,frequency_mhz,note,peak_dbm,seconds: the middle three are known.
    std::vector<std::string> logged;
    std::ifstream csv(dataFolder() / "Activity.csv");
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(header, "time_utc,frequency_mhz,note,peak_dbm,seconds");
    for (std::string line; std::getline(csv, line);) {
        const auto first = line.find(',');
        const auto last = line.rfind(',');
        EXPECT_THAT(
            line.substr(0, first),
            ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"));
        logged.push_back(line.substr(first + 1, last - first - 1));
    }
    EXPECT_EQ(logged, expectedLog);
    expectWellFormedTrafficAndProgramAlive();
}

} // namespace
} // namespace rxdeck::e2e
