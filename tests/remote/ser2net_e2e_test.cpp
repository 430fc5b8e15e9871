// SPDX-License-Identifier: GPL-3.0-or-later
// The real program with Comm1 on a serial server: Debian's ser2net on loopback, bridging the
// receiver simulator's pseudo-terminal, raw and with telnet and RFC 2217 (which must set the
// pseudo-terminal to 9600 8N1), directly and through a slow relay. Other radio programs' view of
// the display (its rigctld server) tells what it shows.
#include "../e2e/desk_fixture.h"
#include "ser2net.h"

#include <gmock/gmock.h>

#include <cmath>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <set>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace rxdeck::e2e {
namespace {

using remote::testing::Ser2net;
using remote::testing::SlowRelay;

// One rigctld client connection to the program: "f" is the frequency the display shows.
class DisplayReader
{
public:
    explicit DisplayReader(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~DisplayReader() { ::close(fd_); }
    bool connected() const { return connected_; }

    // The shown frequency in hertz, or nothing before the first status.
    std::optional<long long> frequency()
    {
        (void)!::write(fd_, "f\n", 2);
        std::string line;
        char c = 0;
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 5000) > 0 && ::read(fd_, &c, 1) == 1 && c != '\n')
            line += c;
        if (line.empty() || line.starts_with("RPRT"))
            return std::nullopt;
        return std::stoll(line);
    }

private:
    int fd_;
    bool connected_ = false;
};

class Ser2netDeskTest : public DeskTest, public ::testing::WithParamInterface<bool>
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

    // The simulator behind ser2net, and the program with Comm1 on `address(ser2net)`.
    void startAll(const std::function<std::string(Ser2net&)>& address,
                  const std::vector<std::string>& simulatorOptions = {})
    {
        ASSERT_NO_FATAL_FAILURE(startSimulator(simulatorOptions));
        // The RFC 2217 connection opens the device at 19200 7E2 until the client sets it.
        ser2net_ = std::make_unique<Ser2net>(device().parent_path(), device().string(), "19200e72");
        ASSERT_TRUE(ser2net_->start()) << "ser2net did not start";
        for (int attempt = 0; attempt < 5 && !display_; ++attempt) {
            rigctld_ = remote::testing::freePort();
            startProgram({"--rigctld=" + std::to_string(rigctld_)}, address(*ser2net_));
            for (int wait = 0; wait < 50 && !remote::testing::accepting(rigctld_); ++wait)
                std::this_thread::sleep_for(100ms);
            if (remote::testing::accepting(rigctld_))
                display_ = std::make_unique<DisplayReader>(rigctld_);
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

    std::unique_ptr<Ser2net> ser2net_;
    std::unique_ptr<DisplayReader> display_;
    int rigctld_ = 0;
};

std::string url(bool rfc2217, int port)
{
    return (rfc2217 ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port);
}

TEST_P(Ser2netDeskTest, ShowsTheReceiverTakesClicksAndComesBackAfterTheServerRestarts)
{
    const bool rfc2217 = GetParam();
    ASSERT_NO_FATAL_FAILURE(startAll([&](Ser2net& server) {
        return url(rfc2217, rfc2217 ? server.rfc2217Port() : server.rawPort());
    }));
    const int startupTextWidth = panel().textWidth(controls::Label1);
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0, 10s)) << "the status poll did not start";
    EXPECT_EQ(display_->frequency(), 14'200'000);
    if (rfc2217) {
        termios line{};
        const int fd = ::open(device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_EQ(::tcgetattr(fd, &line), 0);
        ::close(fd);
        EXPECT_EQ(::cfgetospeed(&line), speed_t(B9600));
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
    }
    std::size_t mark = received();
    panel().click(controls::AM);
    EXPECT_TRUE(traffic().waitForLine("DET1", mark)) << "AM did not reach the receiver";

    // The server goes away: a lost port. Back on the same port, the link resumes by itself.
    ser2net_->stop();
    EXPECT_TRUE(eventuallyShowsNoSerial(startupTextWidth));
    mark = received();
    ASSERT_TRUE(ser2net_->start());
    EXPECT_TRUE(traffic().waitForLine(settingsQuery, mark, 10s)) << "not reconnected";
    EXPECT_TRUE(traffic().waitForPolls(3, mark)) << "the status poll did not resume";
    mark = received();
    panel().click(controls::USB);
    EXPECT_TRUE(traffic().waitForLine("DET4", mark)) << "USB did not reach the receiver";
    keepScreenshot();
    expectWellFormedTrafficAndProgramAlive();
}

INSTANTIATE_TEST_SUITE_P(Accepter, Ser2netDeskTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Rfc2217" : "Raw";
                         });

class SlowLinkTest : public Ser2netDeskTest
{
};

// 150 ms each way and every piece from the receiver's side cut in two, inside the frequency.
TEST_F(SlowLinkTest, ShowsOnlyWholeFrequenciesAndSendsEachClickOnce)
{
    std::unique_ptr<SlowRelay> relay;
    ASSERT_NO_FATAL_FAILURE(startAll(
        [&](Ser2net& server) {
            relay = std::make_unique<SlowRelay>(server.rawPort(), 150ms, 7, 40ms);
            return url(false, relay->port());
        },
        {"--log-replies"}));
    panel().choose(Menu::SerialPort, 0);
    // The settings query goes out again every 200 ms until its first answer is back; the
    // poll decodes the later answers as it finds them, as on any slow line. Past those:
    ASSERT_TRUE(traffic().waitForPolls(8, 0, 10s)) << "the status poll did not start";

    std::vector<long long> shown;
    const auto watch = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end)
            if (const auto hz = display_->frequency())
                shown.push_back(*hz);
    };
    constexpr int clicks = 5;
    for (int click = 0; click < clicks; ++click) {
        panel().click(controls::Plus1k);
        watch(600ms);
    }
    ASSERT_TRUE(traffic().waitForPolls(5, received()));
    watch(300ms);

    static const std::regex field(R"(FRQ (\d+\.\d+))");
    std::set<long long> reported;
    for (const std::string& line : traffic().lines()) {
        std::smatch match;
        if (line.starts_with("> ") && std::regex_search(line, match, field))
            reported.insert(std::llround(std::stod(match[1].str()) * 1e6));
    }
    for (const long long hz : std::set<long long>(shown.begin(), shown.end()))
        EXPECT_TRUE(reported.contains(hz)) << hz << " Hz was never the receiver's frequency";
    EXPECT_GT(std::set<long long>(shown.begin(), shown.end()).size(), 1u) << "the display stood";
    const Lines lines = sent();
    const auto steps = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("FRQ") && line != statusQuery;
    });
    EXPECT_EQ(steps, clicks);
    EXPECT_THAT(CommandForms().malformed(lines), ::testing::IsEmpty());
    EXPECT_TRUE(panel().alive());
}

} // namespace
} // namespace rxdeck::e2e
