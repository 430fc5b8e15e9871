// SPDX-License-Identifier: GPL-3.0-or-later
// rxdeck-sweep against the receiver simulator.

#include "sim_harness.h"
#include "support/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace {

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
    const auto folder = std::filesystem::temp_directory_path() /
                        ("rxdeck-sweep-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command = std::string(RXDECK_SWEEP_PATH) + " " + arguments + " >" +
                                (folder / "out").string() + " 2>" + (folder / "err").string();
    const int raw = std::system(command.c_str());
    SweepResult run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream out(readAll(folder / "out"));
    for (std::string line; std::getline(out, line);)
        run.rows.push_back(line);
    run.errors = readAll(folder / "err");
    std::filesystem::remove_all(folder);
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
    rxdeck::testing::SimulatorProcess sim({"--signal-at", "14.03=-60", "--signal-at", "14.07=-85"});
    const auto device = sim.readLine();
    ASSERT_TRUE(device);
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
            EXPECT_EQ(cells[std::size_t(6 + bin)], expected) << "bin " << bin;
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
