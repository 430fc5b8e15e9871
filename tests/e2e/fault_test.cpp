// SPDX-License-Identifier: GPL-3.0-or-later
// The real window against a receiver that misbehaves: silent, garbled, cut short, late, or
// unplugged and plugged back in (taken up again by itself). The program must keep answering the
// user, send only well-formed lines, and never end.
#include "desk_fixture.h"

#include <gmock/gmock.h>

#include <thread>

namespace rxdeck::e2e {
namespace {

struct Fault
{
    std::string name;
    std::vector<std::string> simulatorOptions;
    bool answers; // whether any reply ever arrives
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class FaultyReceiverTest : public DeskTest, public ::testing::WithParamInterface<Fault>
{
protected:
    // A click on "AM" still reaches the receiver promptly, and so does "USB".
    void expectResponsive()
    {
        std::size_t mark = received();
        panel().click(controls::AM);
        EXPECT_TRUE(traffic().waitForLine("DET1", mark)) << "AM sent nothing";
        mark = received();
        panel().click(controls::USB);
        EXPECT_TRUE(traffic().waitForLine("DET4", mark)) << "USB sent nothing";
    }
};

TEST_P(FaultyReceiverTest, PanelStaysResponsiveAndSendsOnlyCommandForms)
{
    const Fault& fault = GetParam();
    startProgram();
    const int startupTextWidth = panel().textWidth(controls::Label1); // "Serial port?"
    startSimulator(fault.simulatorOptions);
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForLine(settingsQuery, 0)) << "choosing Comm1 sent no query";

    if (fault.answers) {
        EXPECT_TRUE(traffic().waitForPolls(5, 0)) << "the status poll did not start";
    } else {
        // Nothing ever arrives: the query is asked again and again, and no poll starts.
        EXPECT_TRUE(traffic().waitUntil(
            [](const Lines& lines) { return countOf(lines, settingsQuery) >= 5; }, 5s));
        EXPECT_EQ(countOf(traffic().lines(), statusQuery), 0u);
        EXPECT_TRUE(eventuallyShowsNoSerial(startupTextWidth));
    }

    expectResponsive();
    const std::size_t mark = received();
    panel().hold(controls::Plus1k, 300ms);
    EXPECT_TRUE(traffic().waitUntil(
        [&](const Lines& lines) {
            return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(mark), lines.end(),
                               [](const std::string& line) {
                                   return line.starts_with("FRQ") && line != statusQuery;
                               });
        },
        2s))
        << "+1k sent nothing";
    std::this_thread::sleep_for(1s); // let the faulty replies keep coming a while
    keepScreenshot();
    expectWellFormedTrafficAndProgramAlive();
}

INSTANTIATE_TEST_SUITE_P(Receiver, FaultyReceiverTest,
                         ::testing::Values(Fault{"Silent", {"--silent"}, false},
                                           Fault{"Garbage", {"--garbage", "0.3"}, true},
                                           Fault{"Truncated", {"--truncate", "0.3"}, true},
                                           Fault{"Late", {"--delay", "150"}, true}),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             return info.param.name;
                         });

TEST_F(DeskTest, ALineThatComesBackIsTakenUpWithoutAClickAndComm1StillWorks)
{
    startProgram();
    const int startupTextWidth = panel().textWidth(controls::Label1);
    startSimulator({"--hangup-after", "2", "--return-after", "2"});
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(3, 0, 2s)) << "no poll before the hang-up";

    // Unplugged: the device is gone. The panel must survive being used meanwhile.
    const bool unplugged =
        traffic().waitUntil([&](const Lines&) { return !std::filesystem::exists(device()); }, 5s);
    ASSERT_TRUE(unplugged) << "the simulator did not hang up";
    EXPECT_TRUE(eventuallyShowsNoSerial(startupTextWidth));
    panel().click(controls::AM);
    panel().hold(controls::Plus1k, 200ms);
    EXPECT_TRUE(panel().alive());

    const std::size_t away = received();
    ASSERT_TRUE(simulator().readLine(10s).has_value()) << "the line did not come back";
    EXPECT_TRUE(traffic().waitForLine(settingsQuery, away, 5s)) << "the line was not reopened";
    EXPECT_TRUE(traffic().waitForPolls(3, away)) << "the status poll did not resume by itself";
    const std::size_t mark = received();
    panel().choose(Menu::SerialPort, 0);
    EXPECT_TRUE(traffic().waitForLine(settingsQuery, mark, 3s)) << "no settings query";
    EXPECT_TRUE(traffic().waitForPolls(3, mark)) << "the status poll did not resume";
    const std::size_t afterReturn = received();
    panel().click(controls::AM);
    EXPECT_TRUE(traffic().waitForLine("DET1", afterReturn)) << "AM sent nothing";
    keepScreenshot();
    expectWellFormedTrafficAndProgramAlive();
}

} // namespace
} // namespace rxdeck::e2e
