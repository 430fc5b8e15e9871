// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of rxdeck-sim: a child process behind a pseudo-terminal, driven the way the
// program drives the receiver.
#include "sim_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>
#include <unistd.h>

namespace rxdeck::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view settingsQuery = "RFP?;AGC?;RFG?;FRA?;FRB?;SQL?;BLK?;SDW?;INC?;PBT?;BFO?";
constexpr std::string_view statusQuery = "FRQ?;DET?;SGV?;BWS?";

// Characters at a 1-based position, as the program's decoders cut them.
std::string at(const std::string& reply, std::size_t position, std::size_t length)
{
    return position - 1 < reply.size() ? reply.substr(position - 1, length) : "";
}

fs::path scratchPath(std::string_view name)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return fs::path(::testing::TempDir()) /
           (std::string(test->name()) + "-" + std::to_string(::getpid()) + "-" + std::string(name));
}

void expectSettingsLayout(const std::string& reply, const std::vector<std::string>& values)
{
    const std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> layout{
        {"RFP", {1, 5}},   {"AGC", {7, 11}},  {"RFG", {13, 17}}, {"FRA", {21, 25}},
        {"FRB", {35, 39}}, {"SQL", {49, 53}}, {"BLK", {57, 61}}, {"SDW", {64, 68}},
        {"INC", {73, 77}}, {"PBT", {84, 88}}, {"BFO", {94, 98}}};
    ASSERT_EQ(reply.size(), 102u) << reply;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const auto& [mnemonic, positions] = layout[i];
        EXPECT_EQ(at(reply, positions.first, 3), mnemonic) << reply;
        EXPECT_EQ(at(reply, positions.second, values[i].size()), values[i]) << mnemonic;
    }
}

TEST(SimulatorReplies, SettingsReplyPutsEveryFieldAtItsColumn)
{
    SimulatedReceiver rx;
    expectSettingsLayout(rx.line.ask(settingsQuery),
                         {"1", "1", "100", "07.000000", "07.300000", "000", "00", "02.5", "05.000",
                          "+0000", "+0000"});
    // The widest and narrowest values must not move any column.
    rx.line.send("RFP3;AGC0;RFG60;FRA0;FRB30;FRA0.5;SQL136;BLK10;SDW0.5;inc25;PBT-2000;BFO8000");
    expectSettingsLayout(rx.line.ask(settingsQuery),
                         {"3", "0", "060", "00.500000", "30.000000", "136", "10", "00.5", "25.000",
                          "-2000", "+8000"});
}

TEST(SimulatorReplies, StatusReplyPutsEveryFieldAtItsColumn)
{
    SimulatedReceiver rx;
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases{
        {"", "14.200000", "4", "3"},
        {"FRQ0.005;DET6;BWS1", "00.005000", "6", "1"},
        {"FRQ30;DET1;BWS5", "30.000000", "1", "5"},
    };
    for (const auto& [command, frequency, mode, bandwidth] : cases) {
        if (!command.empty()) {
            rx.line.send(command);
        }
        const std::string reply = rx.line.ask(statusQuery);
        ASSERT_EQ(reply.size(), 36u) << reply;
        EXPECT_EQ(at(reply, 1, 4), "FRQ ");
        EXPECT_EQ(at(reply, 5, 9), frequency);
        EXPECT_EQ(at(reply, 14, 5), ";DET ");
        EXPECT_EQ(at(reply, 19, 1), mode);
        EXPECT_EQ(at(reply, 20, 5), ";SGV ");
        EXPECT_TRUE(std::regex_match(at(reply, 25, 6), std::regex(" *-[0-9]+\\.[0-9]"))) << reply;
        EXPECT_EQ(at(reply, 31, 5), ";BWS ");
        EXPECT_EQ(at(reply, 36, 1), bandwidth);
    }
}

TEST(SimulatorReplies, SignalLevelWandersWithinRangeAndKeepsItsWidth)
{
    SimulatedReceiver rx;
    std::set<std::string> distinct;
    for (int i = 0; i < 60; ++i) {
        // Visit many channels and all three RF paths, so stations, floor and offsets all show.
        rx.line.send("FRQ" + std::to_string(1 + i * 0.005) + ";RFP" + std::to_string(1 + i % 3));
        const std::string reply = rx.line.ask("SGV?;SGV?;SGV?;SGV?;SGV?");
        ASSERT_EQ(reply.size(), 5 * 10u + 4) << reply;
        for (std::size_t field = 0; field < 5; ++field) {
            const std::string value = at(reply, field * 11 + 5, 6);
            const double dbm = std::stod(value);
            EXPECT_GE(dbm, -125.0) << value;
            EXPECT_LE(dbm, -40.0) << value;
            distinct.insert(value);
        }
    }
    EXPECT_GT(distinct.size(), 50u);
}

TEST(SimulatorReplies, SameSeedGivesSameSignalReadings)
{
    const auto readings = [](const std::string& seed) {
        SimulatedReceiver rx({"--seed", seed});
        std::string all;
        for (int i = 0; i < 20; ++i) {
            all += rx.line.ask("SGV?;SGV?;SGV?");
        }
        return all;
    };
    EXPECT_EQ(readings("42"), readings("42"));
    EXPECT_NE(readings("42"), readings("43"));
}

TEST(SimulatorCommands, ValuesAreStoredAndShownInFixedWidth)
{
    SimulatedReceiver rx;
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"PBT2000", "PBT?", "PBT +2000"},
        {"PBT-5", "PBT?", "PBT -0005"},
        {"PBT-0", "PBT?", "PBT +0000"},
        {"BFO-8000", "BFO?", "BFO -8000"},
        {"BFO0", "BFO?", "BFO +0000"},
        {"SDW20", "SDW?", "SDW 20.0"},
        {"SDW1.5", "SDW?", "SDW 01.5"},
        {"inc1", "INC?", "INC 01.000"},
        {"FRQ   0.005", "FRQ?", "FRQ 00.005000"},
        {"FRQ7.123456", "frq?", "FRQ 07.123456"},
        {"FRQ30.000000", "FRQ?", "FRQ 30.000000"},
        {"FRQ7.0000004", "FRQ?", "FRQ 07.000000"}, // tuned to the nearest hertz
        {"FRB29.9999996", "FRB?", "FRB 30.000000"},
        {"RFG0", "RFG?", "RFG 000"},
        {"RFG127", "RFG?", "RFG 127"},
        {"SQL7", "SQL?", "SQL 007"},
        {"BLK5", "BLK?", "BLK 05"},
        {"AGC0;RFG60", "AGC?;RFG?", "AGC 0;RFG 060"},
        {"det5;Bws2", "DET?;BWS?", "DET 5;BWS 2"},
        {"FRA0", "FRA?", "FRA 00.000000"},
        {"RFP2", "RFP?", "RFP 2"},
    };
    for (const auto& [command, query, expected] : cases) {
        rx.line.send(command);
        EXPECT_EQ(rx.line.ask(query), expected) << command;
    }
}

TEST(SimulatorCommands, RefusedArgumentsLeaveTheSettingAlone)
{
    SimulatedReceiver rx;
    const std::vector<std::string> refused{
        "FRQ30.000001", "FRQ0.004", "FRQ-7", "FRQ",   "FRQabc", "FRQ7.1x", "FRQ7..1",
        "FRQ1e1",       "FRQ inf",  "RFP0",  "RFP4",  "RFP1.5", "AGC3",    "RFG128",
        "RFG-1",        "DET0",     "DET7",  "BWS6",  "SQL137", "BLK11",   "SDW0",
        "SDW2.3",       "SDW20.5",  "inc0",  "inc26", "inc2.5", "PBT2001", "BFO-8001",
        "FRA30.5",      "FRB-1",    "OPR2"};
    for (const std::string& command : refused) {
        const std::string query = command.substr(0, 3) + "?";
        const std::string before = rx.line.ask(query);
        rx.line.send(command);
        EXPECT_EQ(rx.line.ask(query), before) << command;
    }
}

TEST(SimulatorLines, FramingAndCombiningOfCommands)
{
    SimulatedReceiver rx;
    // Carriage returns are ignored, so CR LF lines work too.
    rx.line.sendRaw("DET3\r\n");
    EXPECT_EQ(rx.line.ask("DET?\r"), "DET 3");

    // Unknown and empty pieces are skipped without losing the rest of the line.
    EXPECT_EQ(rx.line.ask("XYZ5;;Q;12;BWS2;XYZ?;DET?;BWS?"), "DET 3;BWS 2");

    // A line that asks nothing is not answered.
    rx.line.send("DET4");
    EXPECT_EQ(rx.line.receive(200ms, false), "");

    // A line arriving in pieces is one line.
    rx.line.sendRaw("FR");
    std::this_thread::sleep_for(50ms);
    rx.line.sendRaw("Q?;DE");
    rx.line.sendRaw("T?\n");
    EXPECT_EQ(rx.line.receive(1s, true), "FRQ 14.200000;DET 4\r\n");

    // Two lines in one write get two replies, in order.
    rx.line.sendRaw("BWS?\nDET?\n");
    std::string both = rx.line.receive(1s, true);
    if (both == "BWS 2\r\n") {
        both += rx.line.receive(1s, true);
    }
    EXPECT_EQ(both, "BWS 2\r\nDET 4\r\n");
}

TEST(SimulatorLines, ClosingAndReopeningThePortKeepsTheLine)
{
    SimulatedReceiver rx;
    rx.line.send("FRQ3.5");
    for (int i = 0; i < 3; ++i) {
        SerialLine reopened(rx.device);
        ASSERT_TRUE(reopened.isOpen());
        EXPECT_EQ(reopened.ask("FRQ?"), "FRQ 03.500000");
    }
}

// Polls the frequency until it has taken `count` different values or time runs out.
std::vector<std::string> frequenciesSeen(SerialLine& line, std::size_t count,
                                         std::chrono::milliseconds limit)
{
    std::vector<std::string> seen;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
        const std::string reply = line.ask("FRQ?");
        if (seen.empty() || seen.back() != reply) {
            seen.push_back(reply);
        }
        std::this_thread::sleep_for(40ms);
    }
    return seen;
}

TEST(SimulatorScan, StepsFromTheLowLimitAndWrapsAtTheHighLimit)
{
    SimulatedReceiver rx;
    rx.line.send("SDW0.5;inc5");
    const auto start = std::chrono::steady_clock::now();
    rx.line.send("FRA0;FRB7.010;FRA7.000;SCF2;OPR1");
    EXPECT_EQ(frequenciesSeen(rx.line, 4, 2500ms),
              (std::vector<std::string>{"FRQ 07.000000", "FRQ 07.005000", "FRQ 07.010000",
                                        "FRQ 07.000000"}));
    // Three dwell periods of 0.5 s went by.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);

    rx.line.send("OPR0");
    const std::string stopped = rx.line.ask("FRQ?");
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(rx.line.ask("FRQ?;OPR?"), stopped + ";OPR 0");
}

TEST(SimulatorScan, LimitsGivenTheWrongWayRoundStillBoundTheScan)
{
    SimulatedReceiver rx;
    rx.line.send("SDW0.5;inc10;FRA14.020;FRB14.000;OPR1");
    EXPECT_EQ(frequenciesSeen(rx.line, 2, 1500ms),
              (std::vector<std::string>{"FRQ 14.000000", "FRQ 14.010000"}));
}

std::vector<std::string> readLines(const fs::path& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(SimulatorLog, EveryReceivedLineIsLoggedWithItsTime)
{
    const fs::path log = scratchPath("traffic.log");
    const auto wallClock = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const double before = wallClock();
    {
        SimulatedReceiver rx({"--seed", "1", "--log", log.string()});
        rx.line.send("FRQ14.1");
        rx.line.send("inc5;SDW1");
        rx.line.ask("DET?\r");
    }
    const double after = wallClock();

    const std::regex entry(R"(([0-9]+\.[0-9]{6}) (.*))");
    const std::vector<std::string> sent{"FRQ14.1", "inc5;SDW1", "DET?"};
    const auto lines = readLines(log);
    ASSERT_EQ(lines.size(), sent.size());
    double previous = before - 1.0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, entry)) << lines[i];
        EXPECT_EQ(match[2], sent[i]);
        const double stamp = std::stod(match[1]);
        EXPECT_GE(stamp, previous);
        EXPECT_LE(stamp, after + 1.0);
        previous = stamp;
    }
    fs::remove(log);
}

TEST(SimulatorLog, RepliesAreLoggedOnlyOnRequestAndMarkedApart)
{
    const fs::path log = scratchPath("traffic.log");
    {
        SimulatedReceiver rx({"--seed", "1", "--log", log.string(), "--log-replies"});
        rx.line.ask("DET?");
    }
    const auto lines = readLines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"([0-9.]+ DET\?)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"([0-9.]+ > DET 4\\r\\n)"))) << lines[1];
    fs::remove(log);
}

TEST(SimulatorFaults, SilentReceiverAnswersNothing)
{
    SimulatedReceiver rx({"--silent"});
    rx.line.send(std::string(statusQuery));
    EXPECT_EQ(rx.line.receive(300ms, false), "");
}

TEST(SimulatorFaults, TruncatedRepliesAreProperPrefixesWithoutLineEnd)
{
    SimulatedReceiver rx({"--seed", "3", "--truncate", "1"});
    const std::string frame = "FRQ 14.200000;DET 4;SGV ";
    std::set<std::size_t> lengths;
    for (int i = 0; i < 10; ++i) {
        rx.line.send(std::string(statusQuery));
        const std::string reply = rx.line.receive(150ms, false);
        ASSERT_FALSE(reply.empty());
        EXPECT_LT(reply.size(), 36u);
        EXPECT_EQ(reply.substr(0, frame.size()), frame.substr(0, reply.size()));
        lengths.insert(reply.size());
    }
    EXPECT_GT(lengths.size(), 3u);
}

TEST(SimulatorFaults, GarbageRepliesKeepRoughlyTheirLength)
{
    SimulatedReceiver rx({"--seed", "3", "--garbage", "1"});
    for (int i = 0; i < 5; ++i) {
        rx.line.send(std::string(settingsQuery));
        const std::string reply = rx.line.receive(150ms, false);
        EXPECT_GE(reply.size(), 94u);
        EXPECT_LE(reply.size(), 114u);
        EXPECT_EQ(reply.find("RFP 1;AGC"), std::string::npos);
    }
}

TEST(SimulatorFaults, DelayedRepliesArriveLateButWholeAndInOrder)
{
    SimulatedReceiver rx({"--seed", "5", "--delay", "300"});
    for (int i = 0; i < 4; ++i) {
        rx.line.send("DET" + std::to_string(i + 1) + ";DET?");
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(rx.line.receive(150ms, false), "");
    EXPECT_EQ(rx.line.receive(900ms, false), "DET 1\r\nDET 2\r\nDET 3\r\nDET 4\r\n");
}

TEST(SimulatorFaults, HangupRemovesTheDeviceAndReturnBringsANewOne)
{
    const fs::path link = scratchPath("wj8712");
    SimulatedReceiver rx(
        {"--seed", "1", "--link", link.string(), "--hangup-after", "0.3", "--return-after", "0.3"});
    EXPECT_EQ(fs::read_symlink(link), rx.device);
    rx.line.send("FRQ9.5");

    EXPECT_TRUE(rx.line.waitForHangup(2s));
    EXPECT_FALSE(fs::exists(rx.device));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));

    const auto returned = rx.process.readLine(2s);
    ASSERT_TRUE(returned.has_value());
    EXPECT_EQ(fs::read_symlink(link), *returned);
    SerialLine line(link.string());
    ASSERT_TRUE(line.isOpen());
    EXPECT_EQ(line.ask("FRQ?"), "FRQ 09.500000"); // the receiver itself kept its settings

    EXPECT_EQ(rx.process.stop(), 0);
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
}

TEST(SimulatorOptions, LinkReplacesAnOldSymlinkButNeverAFile)
{
    const fs::path link = scratchPath("wj8712");
    fs::create_symlink("/nonexistent-device", link);
    {
        SimulatedReceiver rx({"--link", link.string()});
        EXPECT_EQ(fs::read_symlink(link), rx.device);
    }
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));

    std::ofstream(link) << "keep me";
    SimulatorProcess refused({"--link", link.string()});
    EXPECT_EQ(refused.wait(), 1);
    EXPECT_EQ(fs::file_size(link), 7u);
    fs::remove(link);
}

TEST(SimulatorOptions, CommandLineIsChecked)
{
    const std::vector<std::pair<std::vector<std::string>, int>> cases{
        {{"--help"}, 0},           {{"--bogus"}, 2},
        {{"--garbage", "1.5"}, 2}, {{"--delay", "-3"}, 2},
        {{"--seed", "x"}, 2},      {{"--log"}, 2},
        {{"--silent=yes"}, 2},     {{"--return-after", "1"}, 2},
    };
    for (const auto& [arguments, status] : cases) {
        SimulatorProcess process(arguments);
        EXPECT_EQ(process.wait(), status) << arguments.front();
    }
    SimulatorProcess help({"--help"});
    EXPECT_EQ(help.readLine().value_or("").rfind("Usage: rxdeck-sim", 0), 0u);
}

} // namespace
} // namespace rxdeck::testing
