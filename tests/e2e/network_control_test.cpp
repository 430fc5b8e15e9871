// SPDX-License-Identifier: GPL-3.0-or-later
// Other radio programs at the real program's network control: Hamlib's own rigctl client, and
// misbehaving clients, against `rxdeck --rigctld=PORT` with the simulator behind Comm1.
#include "desk_fixture.h"
#include "support/tcppeer.h"

#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace rxdeck::e2e {
namespace {

using ::testing::IsEmpty;

using test::freePort;

using Connection = test::TcpPeer; // one connection to the program, as a client holds it

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class NetworkControlTest : public DeskTest
{
protected:
    void SetUp() override
    {
        DeskTest::SetUp();
        if (IsSkipped())
            return;
        if (!onPath("rigctl"))
            GTEST_SKIP() << "rigctl is not installed (Debian package libhamlib-utils)";
    }

    // The simulator, also logging its replies, and the program serving on a free port.
    void startWithServer(std::vector<std::string> simulatorOptions = {})
    {
        simulatorOptions.push_back("--log-replies");
        startSimulator(simulatorOptions);
        for (int attempt = 0; attempt < 5 && !serving(); ++attempt) {
            port_ = freePort();
            startProgram({"--rigctld=" + std::to_string(port_)});
            for (int wait = 0; wait < 50 && !serving(); ++wait)
                std::this_thread::sleep_for(100ms);
        }
        ASSERT_TRUE(serving()) << "the program does not accept connections";
    }

    bool serving() const { return port_ != 0 && Connection(port_).connected(); }

    CommandResult rigctl(const std::vector<std::string>& commands)
    {
        std::vector<std::string> argv{
            "rigctl",         "-m", "2", "-r", "127.0.0.1:" + std::to_string(port_), "-C",
            "cache_timeout=0"};
        argv.insert(argv.end(), commands.begin(), commands.end());
        return runCommand(argv, {.timeout = 30s});
    }

    // What the program sent the receiver; the simulator's replies are logged as "> …".
    Lines sent() const
    {
        Lines lines;
        for (const std::string& line : traffic().lines())
            if (!line.starts_with("> "))
                lines.push_back(line);
        return lines;
    }

    // l STRENGTH for each signal field the simulator sent: its four characters, less S9.
    std::set<long> strengthsSent() const
    {
        static const std::regex signal(R"(SGV (.{4}))");
        std::set<long> values;
        for (const std::string& line : traffic().lines()) {
            std::smatch match;
            if (line.starts_with("> ") && std::regex_search(line, match, signal))
                values.insert(std::lround(std::stod(match[1].str()) + 73));
        }
        return values;
    }

    int port_ = 0;
};

TEST_F(NetworkControlTest, RigctlReadsAndTunesTheReceiverThroughTheProgram)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0)) << "the status poll did not start";

    CommandResult result = rigctl({"f"});
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.output, "14200000\n");

    const std::size_t mark = received();
    result = rigctl({"F", "14074000", "f", "M", "LSB", "0", "l", "STRENGTH", "T", "1"});
    ASSERT_TRUE(result.ok());
    const auto lines = linesOf(result.output);
    ASSERT_GE(lines.size(), 2u) << result.output;
    EXPECT_EQ(lines[0], "14074000");
    EXPECT_TRUE(strengthsSent().contains(std::stol(lines[1])))
        << lines[1] << " matches no signal the receiver reported";
    EXPECT_NE(result.output.find("set_ptt: error"), std::string::npos) << result.output;
    EXPECT_TRUE(traffic().waitForLine("FRQ14.074", mark));
    EXPECT_TRUE(traffic().waitForLine("DET5;BWS3", mark));

    // Confirmed by the receiver through the poll.
    ASSERT_TRUE(traffic().waitForPolls(3, received()));
    EXPECT_EQ(rigctl({"f", "m"}).output, "14074000\nLSB\n3200\n");
    EXPECT_THAT(CommandForms().malformed(sent()), IsEmpty());
}

TEST_F(NetworkControlTest, RigctlStartsAndStopsTheMemoryScan)
{
    writeMemories({{"Frequency", "Note"}, {"7.05", "Net"}, {"7.1", "Other"}});
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0)) << "the status poll did not start";
    const auto tunes = [&](std::size_t from) {
        Lines lines;
        const Lines all = sent();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i] == "FRQ7.05" || all[i] == "FRQ7.1")
                lines.push_back(all[i]);
        return lines;
    };

    // Hamlib 4.5's NET rigctl knows no scan kinds of a server and refuses "g" itself, but
    // passes the line on with "w" (and then waits for its timeout).
    const auto scan = [&](const std::string& kind) {
        return runCommand({"rigctl", "-m", "2", "-r", "127.0.0.1:" + std::to_string(port_), "-C",
                           "timeout=500", "w", "g " + kind + " 0"},
                          {.timeout = 30s});
    };
    CommandResult result = scan("MEM");
    EXPECT_TRUE(result.ok()) << result.output;
    // Nothing is heard at the default squelch level: round and round.
    ASSERT_TRUE(traffic().waitUntil([&](const Lines&) { return tunes(0).size() >= 4; }, 10s));
    result = scan("STOP");
    EXPECT_TRUE(result.ok()) << result.output;
    const std::size_t stopped = sent().size();
    ASSERT_TRUE(traffic().waitForPolls(20, received()));
    EXPECT_THAT(tunes(stopped), IsEmpty());
    Connection client(port_);
    client.send("\\dump_caps\n");
    EXPECT_THAT(client.receive(200), ::testing::HasSubstr("Scan Ops: MEM STOP \n"));
    client.send("g MEM 0\n");
    EXPECT_EQ(client.receive(), "RPRT 0\n");
    client.send("\\scan STOP 0\n");
    EXPECT_EQ(client.receive(), "RPRT 0\n");
}

// Hamlib's own client sets and reads every level and function; a value beyond the receiver is
// refused. Within one pacing interval only the newest line of a kind goes out, so the sets
// of one kind end with the one checked at the receiver.
TEST_F(NetworkControlTest, RigctlSetsAndReadsEveryLevel)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));
    struct Step
    {
        const char *set, *read, *answer;
    };
    const Step steps[] = {
        {"L SQL 0.25", "l SQL", "0.250000"},
        {"L AGC 2", "l AGC", "2"},
        {"L RF 0.5", "l RF", "0.503937"},
        {"", "l AGC", "0"},
        {"L PREAMP 10", "l PREAMP", "10"},
        {"L ATT 10", "l ATT", "10"},
        {"", "l PREAMP", "0"},
        {"U NB 1", "u NB", "1"},
        {"L NB 0.3", "l NB", "0.300000"},
        {"L PBT_IN -200", "l PBT_IN", "-200.000000"},
        {"L CWPITCH 400", "l CWPITCH", "400"},
    };
    std::vector<std::string> commands;
    std::string answers;
    for (const Step& step : steps) {
        std::istringstream words(std::string(step.set) + ' ' + step.read);
        for (std::string word; words >> word;)
            commands.push_back(word);
        answers += std::string(step.answer) + '\n';
    }
    commands.insert(commands.end(), {"L", "SQL", "1.5"});
    const std::size_t mark = received();
    const CommandResult result = rigctl(commands);
    const auto refusal = result.output.find("set_level: error");
    EXPECT_EQ(result.output.substr(0, refusal), answers);
    EXPECT_NE(refusal, std::string::npos) << result.output;
    for (const char* line : {"SQL102", "AGC0;RFG64", "RFP2", "BLK3", "PBT-200", "BFO400"})
        EXPECT_TRUE(traffic().waitForLine(line, mark)) << line;
    EXPECT_THAT(CommandForms().malformed(sent()), IsEmpty());
}

TEST_F(NetworkControlTest, WithoutAPortEveryCommandFailsAndNothingReachesTheReceiver)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    const CommandResult result =
        rigctl({"f", "F", "14074000", "m", "M", "LSB", "0", "l", "STRENGTH"});
    EXPECT_TRUE(result.ok()) << "rigctl could not open the connection";
    EXPECT_EQ(result.output, "");
    Connection client(port_);
    client.send("f\nF 14074000\nM LSB 0\nl STRENGTH\n");
    EXPECT_EQ(client.receive(4), "RPRT -6\nRPRT -6\nRPRT -6\nRPRT -6\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_THAT(traffic().lines(), IsEmpty());
}

TEST_F(NetworkControlTest, BadClientsAreDroppedAndTheReceiverHearsOnlyValidLines)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));

    const std::string inputs[] = {
        std::string(300, 'F'),                       // a line that never ends
        "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n", // a browser
        std::string("F 7000000\0\x01\xff\n", 13),    // binary
    };
    for (const std::string& input : inputs) {
        Connection bad(port_);
        bad.send(input);
        EXPECT_TRUE(bad.closedByFarEnd());
    }
    {
        Connection vanishing(port_);
        vanishing.send("F 1407");
    }

    std::vector<std::unique_ptr<Connection>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<Connection>(port_));
        clients.back()->send("v\n");
        EXPECT_EQ(clients.back()->receive(), "VFOA\n");
    }
    // A program asks at once, before it reads; it still reads the refusal, not a reset.
    Connection ninth(port_);
    ninth.send("\\chk_vfo\n\\dump_state\n");
    EXPECT_EQ(ninth.receive(), "RPRT -14\n");
    EXPECT_TRUE(ninth.closedByFarEnd());
    clients.clear();
    // The server notices the eight leave in its own time.
    for (int wait = 0; wait < 50; ++wait) {
        Connection probe(port_);
        probe.send("v\n");
        if (probe.receive() == "VFOA\n")
            break;
        std::this_thread::sleep_for(100ms);
    }

    EXPECT_EQ(rigctl({"f"}).output, "14200000\n");
    ASSERT_TRUE(traffic().waitForPolls(3, received()));
    const Lines lines = sent();
    EXPECT_THAT(CommandForms().malformed(lines), IsEmpty());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.starts_with("FRQ") && line != statusQuery;
                            }),
              0);
    EXPECT_TRUE(panel().alive());
}

// Every read after a set answers the value set, through the poll ticks that still carry the
// receiver's answers to queries asked before the set; each set reaches the receiver as the panel
// control's own line, and a mode and its passband go out as one line.
TEST_F(NetworkControlTest, ReadsRightAfterASetAnswerTheValueSet)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));

    struct Step
    {
        std::string set, line, read, answer;
    };
    const Step steps[] = {
        {"F 7100000", "FRQ7.1", "f", "7100000\n"},
        {"M AM 0", "DET1;BWS4", "m", "AM\n6000\n"},
        {"F 14200000", "FRQ14.2", "f", "14200000\n"},
        {"M USB 3000", "DET4;BWS3", "m", "USB\n3200\n"},
        {"L SQL 0.5", "SQL68", "l SQL", "0.500000\n"},
        {"L AGC 3", "AGC1", "l AGC", "3\n"},
        {"L RF 0.25", "AGC0;RFG32", "l RF", "0.251969\n"},
        {"L ATT 10", "RFP2", "l ATT", "10\n"},
        {"L PREAMP 10", "RFP3", "l PREAMP", "10\n"},
        {"L NB 0.7", "BLK7", "l NB", "0.700000\n"},
        {"U NB 0", "BLK0", "u NB", "0\n"},
        {"L PBT_IN -500", "PBT-500", "l PBT_IN", "-500.000000\n"},
        {"L CWPITCH 1250", "BFO1250", "l CWPITCH", "1250\n"},
    };
    Connection client(port_);
    for (const Step& step : steps) {
        const int answerLines =
            static_cast<int>(std::count(step.answer.begin(), step.answer.end(), '\n'));
        const std::size_t mark = received();
        client.send(step.set + "\n");
        ASSERT_EQ(client.receive(), "RPRT 0\n") << step.set;
        std::vector<std::string> wrong;
        int reads = 0;
        // Every 10 ms until at least three full poll ticks have passed since the set.
        while (countOf(traffic().lines(), statusQuery, mark) < 4 && reads < 300) {
            client.send(step.read + "\n");
            const std::string answer = client.receive(answerLines);
            if (answer != step.answer) {
                wrong.push_back(answer);
            }
            ++reads;
            std::this_thread::sleep_for(10ms);
        }
        // Enough reads to span the ticks, however slow the machine (sanitizers, load).
        EXPECT_GE(reads, 5) << step.set;
        EXPECT_THAT(wrong, IsEmpty()) << step.set << ": " << reads << " reads";
        EXPECT_TRUE(traffic().waitForLine(step.line, mark)) << step.set;
    }
    const Lines lines = sent();
    EXPECT_EQ(countOf(lines, "DET1;BWS4") + countOf(lines, "DET4;BWS3"), 2u);
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("BWS");
    })) << "a passband went out apart from its mode";
    EXPECT_THAT(CommandForms().malformed(lines), IsEmpty());
}

// Gpredict's radio controller, once per 100 ms cycle: read the frequency, set the one the user
// dialled ("F" with the frequency as %10.0f), read it back, ask for PTT and for the squelch (DCD)
// in Hamlib's one-byte form 0x8B; "q" when the user disengages. Also with a receiver that adds a
// status reply to its settings reply, and with one that answers late, sometimes in two writes.
class GpredictTest : public NetworkControlTest,
                     public ::testing::WithParamInterface<std::vector<std::string>>
{
};

TEST_P(GpredictTest, ConversationKeepsItsFrequencyAndItsConnection)
{
    ASSERT_NO_FATAL_FAILURE(startWithServer(GetParam()));
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));

    Connection gpredict(port_);
    std::vector<std::string> misread;
    const auto cycleStart = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < 40; ++cycle) {
        const long hz = 145800000 / 10 + 1000L * (cycle / 4); // the dial moves every 4 cycles
        // Each cycle starts by reading the frequency it set last, never an earlier one.
        gpredict.send("f\n");
        if (const std::string read = gpredict.receive();
            cycle > 0 && read != std::to_string(145800000 / 10 + 1000L * ((cycle - 1) / 4)) + "\n")
            misread.push_back("cycle " + std::to_string(cycle) + " began with " + read);
        char set[32];
        std::snprintf(set, sizeof set, "F %10.0f\n", static_cast<double>(hz));
        gpredict.send(set);
        ASSERT_EQ(gpredict.receive(), "RPRT 0\n") << set;
        gpredict.send("f\n");
        const std::string read = gpredict.receive();
        if (read != std::to_string(hz) + "\n") {
            misread.push_back(std::to_string(hz) + " read as " + read);
        }
        gpredict.send("t\n");
        EXPECT_EQ(gpredict.receive(), "0\n");
        gpredict.send("\x8b\n");
        const std::string dcd = gpredict.receive();
        EXPECT_TRUE(dcd == "0\n" || dcd == "1\n") << dcd;
        std::this_thread::sleep_until(cycleStart + (cycle + 1) * 100ms);
    }
    EXPECT_THAT(misread, IsEmpty());
    gpredict.send("q\n");
    EXPECT_EQ(gpredict.receive(), "RPRT 0\n");
    EXPECT_TRUE(gpredict.closedByFarEnd());
    EXPECT_THAT(CommandForms().malformed(sent()), IsEmpty());
}

std::string receiverName(const ::testing::TestParamInfo<std::vector<std::string>>& info)
{
    const char* names[] = {"Prompt", "RunTogether", "LateAndSplit"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Receiver, GpredictTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--run-together"},
                                           std::vector<std::string>{"--delay", "80"}),
                         receiverName);

// The form of each answer, without its values: "Freq: 14200000" is "Freq:", "Rig=WJ-8712" is
// "Rig=", a line of values alone is "value".
std::vector<std::string> formOf(const std::string& text)
{
    static const std::regex value("=[^ ]*");
    std::vector<std::string> form;
    for (const std::string& line : linesOf(text)) {
        if (line.find('=') != std::string::npos) {
            form.push_back(std::regex_replace(line, value, "="));
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            form.push_back(line.substr(0, colon + 1));
        } else {
            form.push_back(line.starts_with("RPRT") ? line : "value");
        }
    }
    return form;
}

// Hamlib's own rigctld with its dummy rig is the measure of the answers' form.
TEST_F(NetworkControlTest, OtherQueriesAnswerInRigctldsForm)
{
    if (!onPath("rigctld")) {
        GTEST_SKIP() << "rigctld is not installed (Debian package libhamlib-utils)";
    }
    ASSERT_NO_FATAL_FAILURE(startWithServer());
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0));
    const int referencePort = freePort();
    ChildProcess reference(
        {"rigctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(referencePort)}, {});
    std::unique_ptr<Connection> hamlib;
    for (int wait = 0; wait < 50 && !(hamlib && hamlib->connected()); ++wait) {
        std::this_thread::sleep_for(100ms);
        hamlib = std::make_unique<Connection>(referencePort);
    }
    ASSERT_TRUE(hamlib->connected()) << "rigctld did not start";
    Connection rxdeck(port_);

    const std::pair<std::string, int> queries[] = {
        {"\\get_vfo_info VFOA\n", 5},
        {"+\\get_vfo_info VFOA\n", 7},
        {"\\get_rig_info\n", 8},
        {"+\\get_rig_info\n", 10},
        {"+\\get_vfo_list\n", 3},
        {"+\x8b\n", 3},
        {"+l ?\n", 3},
        {"+u ?\n", 3},
        {"+\\get_lock_mode\n", 3},
        {"_\n", 1},
        {"+\\get_info\n", 3},
        {"3\n", 2},
        {"+\\dump_conf\n", 3},
        {"L ?\n", 2},
        {"+L ?\n", 3},
        {"U ?\n", 2},
        {"p ?\n", 1},
        {"P ?\n", 2},
        {"+P ?\n", 3},
        {"l SQL\n", 1},
        {"+l SQL\n", 3},
        {"L SQL 0.5\n", 1},
        {"+L PBT_IN 100\n", 2},
        {"u NB\n", 1},
        {"+u NB\n", 3},
        {"F\n14100000\n", 1},
        {"M USB\n2400\n", 1},
        {"l\nSQL\n", 1},
        {"+\nf\n", 3},
        {"+ f\n", 3},
        // rigctld keeps a separator for later answers: these last.
        {";\\chk_vfo\n", 2},
        {"%\nm\n", 1},
    };
    for (const auto& [query, lines] : queries) {
        hamlib->send(query);
        rxdeck.send(query);
        EXPECT_EQ(formOf(rxdeck.receive(lines)), formOf(hamlib->receive(lines))) << query;
    }

    // After chk_vfo, dump_state's keys are rigctld's, but for the tone lists of a rig with
    // tone squelch.
    const auto keysOf = [](const std::string& text) {
        std::set<std::string> keys;
        for (const std::string& line : linesOf(text))
            if (const auto equals = line.find('='); equals != std::string::npos)
                keys.insert(line.substr(0, equals));
        return keys;
    };
    const auto dumpState = [](Connection& connection) {
        connection.send("\\dump_state\n");
        std::string text;
        for (int part = 0; part < 20 && !text.ends_with("done\n"); ++part)
            text += connection.receive(1);
        return text;
    };
    std::set<std::string> expected = keysOf(dumpState(*hamlib));
    expected.erase("ctcss_list");
    expected.erase("dcs_list");
    EXPECT_EQ(keysOf(dumpState(rxdeck)), expected);
}

} // namespace
} // namespace rxdeck::e2e
