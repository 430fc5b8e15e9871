// SPDX-License-Identifier: GPL-3.0-or-later
// The real program with Comm1 on a serial server: Debian's ser2net on loopback, bridging the
// receiver simulator's pseudo-terminal, raw and with telnet and RFC 2217 (which must set the
// pseudo-terminal to 9600 8N1), directly and through a slow relay. Other radio programs' view of
// the display (its rigctld server) tells what it shows.
#include "../e2e/area_watch.h"
#include "../e2e/desk_fixture.h"
#include "ser2net.h"

#include <gmock/gmock.h>

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <regex>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace rxdeck::e2e {
namespace {

using remote::testing::Ser2net;
using remote::testing::SlowRelay;

// One rigctld client connection to the program: "f" is the frequency the display shows.
class DisplayReader : public test::TcpPeer
{
public:
    using TcpPeer::TcpPeer;

    // The shown frequency in hertz, or nothing before the first status.
    std::optional<long long> frequency()
    {
        send("f\n");
        const std::string line = receive();
        if (line.empty() || line.starts_with("RPRT"))
            return std::nullopt;
        return std::stoll(line);
    }
};

struct Relay
{
    std::chrono::milliseconds delay, jitter{};
    std::size_t splitAt = std::string::npos;
    std::chrono::milliseconds gap{};
    int shiftEvery = 0;
};

struct Line
{
    const char* name;
    bool rfc2217;
    std::optional<Relay> relay;
    bool stall = false; // the relay holds all traffic for 10 s after the clicks
};

class Ser2netDeskTest : public DeskTest, public ::testing::WithParamInterface<Line>
{
protected:
    void SetUp() override
    {
        DeskTest::SetUp();
        if (IsSkipped())
            return;
        if (!Ser2net::installed())
            GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
    }

    // The simulator behind ser2net, and the program with Comm1 on the server or the relay.
    void startAll()
    {
        ASSERT_NO_FATAL_FAILURE(startSimulator({"--log-replies"}));
        // The RFC 2217 connection opens the device at 19200 7E2 until the client sets it.
        ser2net_ = std::make_unique<Ser2net>(device().parent_path(), device().string(), "19200e72");
        ASSERT_TRUE(ser2net_->start()) << "ser2net did not start";
        int port = GetParam().rfc2217 ? ser2net_->rfc2217Port() : ser2net_->rawPort();
        if (const auto& r = GetParam().relay) {
            relay_ = std::make_unique<SlowRelay>(port, r->delay, r->splitAt, r->gap, r->jitter,
                                                 r->shiftEvery);
            port = relay_->port();
        }
        const std::string address =
            (GetParam().rfc2217 ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") +
            std::to_string(port);
        for (int attempt = 0; attempt < 5 && !display_; ++attempt) {
            const int rigctld = test::freePort();
            startProgram({"--rigctld=" + std::to_string(rigctld)}, address);
            for (int wait = 0; wait < 50 && !DisplayReader(rigctld).connected(); ++wait)
                std::this_thread::sleep_for(100ms);
            if (DisplayReader(rigctld).connected())
                display_ = std::make_unique<DisplayReader>(rigctld);
        }
        ASSERT_TRUE(display_ && display_->connected()) << "no network control";
    }

    // What the program sent, without the simulator's replies ("> …").
    Lines sent() const
    {
        Lines lines;
        for (const std::string& line : traffic().lines())
            if (!line.starts_with("> "))
                lines.push_back(line);
        return lines;
    }

    // The relay holds everything for 10 s and a click is made meanwhile: afterwards the
    // receiver gets no backlog of queries, and the click comes within a second or never.
    void stallTheLink()
    {
        using namespace std::chrono;
        const auto now = [] { return duration<double>(system_clock::now().time_since_epoch()); };
        relay_->stall(10s);
        const double end = (now() + 10s).count();
        std::this_thread::sleep_for(2s);
        const std::size_t mark = received();
        const double clicked = now().count();
        panel().click(controls::Plus1k);
        ASSERT_TRUE(traffic().waitForPolls(3, mark, 20s)) << "the link did not come back";
        int queriesAtOnce = 0;
        for (const auto& [at, line] : traffic().timedLines()) {
            if (at >= end && at < end + 0.1 && line == statusQuery)
                ++queriesAtOnce;
            if (at > clicked && line.starts_with("FRQ") && line != statusQuery)
                EXPECT_LT(at - clicked, 1.2) << line << " came late";
        }
        EXPECT_LE(queriesAtOnce, 1) << "status queries within 100 ms of the stall's end";
    }

    std::unique_ptr<Ser2net> ser2net_;
    std::unique_ptr<SlowRelay> relay_;
    std::unique_ptr<DisplayReader> display_;
};

// The display shows only whole frequencies the simulator had, every click is sent once, and
// after the server restarts the link resumes by itself.
TEST_P(Ser2netDeskTest, ShowsTheReceiverTakesEachClickOnceAndComesBackAfterTheServerRestarts)
{
    ASSERT_NO_FATAL_FAILURE(startAll());
    const int startupTextWidth = panel().textWidth(controls::Label1);
    panel().choose(Menu::SerialPort, 0);
    // On a slow line the settings query goes out again every 200 ms until its first answer is
    // back, and the poll decodes the later answers as it finds them. Past those:
    ASSERT_TRUE(traffic().waitForPolls(8, 0, 10s)) << "the status poll did not start";
    EXPECT_EQ(display_->frequency(), 14'200'000);
    if (GetParam().rfc2217) {
        termios line{};
        const int fd = ::open(device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_EQ(::tcgetattr(fd, &line), 0);
        ::close(fd);
        EXPECT_EQ(::cfgetospeed(&line), speed_t(B9600));
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
    }

    // The right part of Label1, as in the link-timing table.
    const QRect label = panel().onScreen(controls::Label1).adjusted(130, 0, 0, 0);
    AreaWatch watch(label);
    std::set<long long> shown;
    constexpr int clicks = 4;
    for (int click = 0; click < clicks; ++click) {
        panel().click(controls::Plus1k);
        for (const auto end = std::chrono::steady_clock::now() + 600ms;
             std::chrono::steady_clock::now() < end;)
            if (const auto hz = display_->frequency())
                shown.insert(*hz);
    }
    static const std::regex field(R"(> FRQ (\d+\.\d+))");
    std::set<long long> reported;
    for (const std::string& line : traffic().lines())
        if (std::smatch match; std::regex_search(line, match, field))
            reported.insert(std::llround(std::stod(match[1].str()) * 1e6));
    for (const long long hz : shown)
        EXPECT_TRUE(reported.contains(hz)) << hz << " Hz was never the receiver's frequency";
    EXPECT_GT(shown.size(), 1u) << "the display stood";
    const auto seen = watch.stop();
    const auto isStep = [](const std::string& line) {
        return line.starts_with("FRQ") && line != statusQuery;
    };
    const Lines lines = sent();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isStep), clicks);
    // Each step starts from a frequency the receiver had, never from a spoiled reply.
    for (const std::string& line : lines)
        if (isStep(line))
            EXPECT_TRUE(reported.contains(std::llround(std::stod(line.substr(3)) * 1e6) - 1000))
                << line;

    if (GetParam().stall)
        ASSERT_NO_FATAL_FAILURE(stallTheLink());

    // The server goes away: a lost port. Back on the same port, the link resumes by itself.
    ser2net_->stop();
    EXPECT_TRUE(eventuallyShowsNoSerial(startupTextWidth));
    EXPECT_FALSE(seen.contains(grabArea(label))) << "\"No serial\" while the replies came";
    std::size_t mark = received();
    ASSERT_TRUE(ser2net_->start());
    EXPECT_TRUE(traffic().waitForLine(settingsQuery, mark, 10s)) << "not reconnected";
    EXPECT_TRUE(traffic().waitForPolls(3, mark)) << "the status poll did not resume";
    mark = received();
    panel().click(controls::USB);
    EXPECT_TRUE(traffic().waitForLine("DET4", mark)) << "USB did not reach the receiver";
    keepScreenshot();
    EXPECT_THAT(CommandForms().malformed(sent()), ::testing::IsEmpty());
    EXPECT_TRUE(panel().alive());
}

INSTANTIATE_TEST_SUITE_P(Accepter, Ser2netDeskTest,
                         ::testing::Values(Line{"Raw", false, {}}, Line{"Rfc2217", true, {}},
                                           // Cut inside "FRQ 14.2".
                                           Line{"SlowRaw", false, Relay{150ms, {}, 7, 40ms}},
                                           Line{"JitteryRaw", false, Relay{150ms, 50ms}},
                                           Line{"ShiftedRaw", false, Relay{0ms, {}, {}, {}, 3}},
                                           Line{"StalledRaw", false, Relay{0ms}, true}),
                         [](const ::testing::TestParamInfo<Line>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace rxdeck::e2e
