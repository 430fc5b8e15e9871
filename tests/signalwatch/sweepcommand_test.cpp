// SPDX-License-Identifier: GPL-3.0-or-later
// rxdeck-sweep against the receiver simulator.

#include "signalwatch/sweepplan.h"
#include "sim_harness.h"
#include "support/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;

struct SweepResult
{
    int status = -1;
    std::vector<std::string> rows;
    std::string errors;
};

std::string readAll(const std::filesystem::path& path)
{
    return rxdeck::test::fileContents(QString::fromStdString(path.string())).toStdString();
}

SweepResult sweep(const std::string& arguments)
{
    std::vector<std::string> argv{RXDECK_SWEEP_PATH};
    std::istringstream words(arguments);
    for (std::string word; words >> word;)
        argv.push_back(word);
    const rxdeck::test::CommandResult done = rxdeck::test::runCommand(argv, {.timeout = 50s});
    SweepResult run{done.status, {}, done.errors};
    std::istringstream out(done.output);
    for (std::string line; std::getline(out, line);)
        run.rows.push_back(line);
    return run;
}

std::vector<std::string> columns(const std::string& row)
{
    std::vector<std::string> cells;
    std::istringstream in(row);
    for (std::string cell; std::getline(in, cell, ',');)
        cells.push_back(cell.starts_with(' ') ? cell.substr(1) : cell);
    return cells;
}

TEST(SweepCommand, RowsShowEachSignalInItsBinAndTheFloorElsewhere)
{
    const struct
    {
        std::vector<std::string> simulator;
        // A program that used the line before left a status query whose reply, slow to
        // come, arrives after the sweep has asked.
        bool queryLeftOnTheLine;
    } cases[] = {
        {{}, false},
        {{"--lag", "500"}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> options{"--signal-at", "14.03=-60", "--signal-at", "14.07=-85"};
        options.insert(options.end(), c.simulator.begin(), c.simulator.end());
        rxdeck::testing::SimulatorProcess sim(options);
        const auto device = sim.readLine();
        ASSERT_TRUE(device);
        if (c.queryLeftOnTheLine) {
            const int line = ::open(device->c_str(), O_WRONLY | O_NOCTTY);
            ASSERT_GE(line, 0);
            constexpr std::string_view query = "FRQ?;DET?;SGV?;BWS?\n";
            EXPECT_EQ(::write(line, query.data(), query.size()), ssize_t(query.size()));
            ::close(line);
        }
        const SweepResult run =
            sweep("--port " + *device + " --from 14 --to 14.1 --step 10 --repeat 2");
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_THAT(run.rows, SizeIs(2));
        for (const std::string& row : run.rows) {
            const std::vector<std::string> cells = columns(row);
            // date, time, Hz low, Hz high, Hz step, samples, then one dB per bin.
            ASSERT_THAT(cells, SizeIs(6 + 11)) << row;
            EXPECT_THAT(cells[0], ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}"));
            EXPECT_THAT(cells[1], ::testing::MatchesRegex("[0-9]{2}:[0-9]{2}:[0-9]{2}"));
            EXPECT_THAT(std::vector(cells.begin() + 2, cells.begin() + 6),
                        ElementsAre("14000000", "14110000", "10000.00", "1"));
            for (int bin = 0; bin < 11; ++bin) {
                const std::string expected = bin == 3 ? "-60.00" : bin == 7 ? "-85.00" : "-120.00";
                EXPECT_EQ(cells[std::size_t(6 + bin)], expected) << "bin " << bin << ": " << row;
            }
        }
    }
}

TEST(SweepCommand, FailsWithAReasonWhenThereIsNoReceiver)
{
    rxdeck::testing::SimulatorProcess silent({"--silent"});
    const auto device = silent.readLine();
    ASSERT_TRUE(device);
    const struct
    {
        std::string port;
        std::string reason;
    } cases[] = {
        {"/dev/rxdeck-no-such-device", "/dev/rxdeck-no-such-device"},
        {*device, "does not answer"},
        {"socket://127.0.0.1:1", "127.0.0.1"},
    };
    for (const auto& c : cases) {
        const SweepResult run = sweep("--port " + c.port + " --from 14 --to 14.01 --step 5");
        EXPECT_EQ(run.status, 1) << c.port;
        EXPECT_THAT(run.errors, HasSubstr(c.reason)) << c.port;
        EXPECT_THAT(run.rows, ::testing::IsEmpty()) << c.port;
    }
}

} // namespace

namespace {

TEST(SweepCommand, CtrlCKeepsTheFinishedRowsAndTunesBack)
{
    const auto log = std::filesystem::temp_directory_path() /
                     ("rxdeck-sweep-int-" + std::to_string(::getpid()) + ".log");
    rxdeck::testing::SimulatorProcess sim({"--log", log.string()});
    const auto device = sim.readLine();
    ASSERT_TRUE(device);
    const auto rows = std::filesystem::path(log).replace_extension(".csv");
    rxdeck::test::ChildProcess sweeping({RXDECK_SWEEP_PATH, "--port", *device, "--from", "7",
                                         "--to", "7.01", "--step", "1", "--repeat", "0", "--output",
                                         rows.string()});
    // Until two rows are out, then Ctrl-C in the middle of a sweep.
    std::string written;
    for (int i = 0; i < 100 && std::count(written.begin(), written.end(), '\n') < 2; ++i) {
        std::this_thread::sleep_for(50ms);
        written = readAll(rows);
    }
    std::this_thread::sleep_for(120ms);
    ::kill(sweeping.pid(), SIGINT);
    EXPECT_EQ(sweeping.wait(), 0);
    written = readAll(rows);
    EXPECT_GE(std::count(written.begin(), written.end(), '\n'), 2);
    EXPECT_TRUE(written.ends_with('\n')) << "a row was cut short";
    for (std::istringstream lines(written); std::getline(lines, written);)
        EXPECT_EQ(columns(written).size(), 6u + 11u) << written;
    // The last line the receiver heard takes it back to the simulator's first frequency.
    std::istringstream heard(readAll(log));
    std::string line, lastTune;
    while (std::getline(heard, line))
        if (line.find(" FRQ") != std::string::npos && line.find("FRQ?") == std::string::npos)
            lastTune = line.substr(line.find(" FRQ") + 1);
    EXPECT_EQ(lastTune, "FRQ14.2");
    std::filesystem::remove(log);
    std::filesystem::remove(rows);
}

TEST(SweepPlan, RefusesWhatTheReceiverCannotSweep)
{
    using rxdeck::signalwatch::SweepPlan;
    const struct
    {
        qint64 from, to, step;
        int bins; // 0: refused
    } cases[] = {
        {14'000'000, 14'100'000, 10'000, 11},
        {14'000'000, 14'000'000, 1'000, 1},
        {14'000'000, 14'004'000, 3'000, 2},
        {0, 30'000'000, 301, 99'668},
        {0, 30'000'000, 300, 0},
        {14'100'000, 14'000'000, 1'000, 0},
        {14'000'000, 14'100'000, 0, 0},
        {-1, 14'000'000, 1'000, 0},
        {0, 30'000'001, 1'000, 0},
    };
    for (const auto& c : cases) {
        QString reason;
        const auto plan = SweepPlan::make(c.from, c.to, c.step, &reason);
        EXPECT_EQ(plan ? plan->bins() : 0, c.bins) << c.from << ".." << c.to << " / " << c.step;
        EXPECT_EQ(reason.isEmpty(), plan.has_value()) << reason.toStdString();
    }
}

} // namespace
