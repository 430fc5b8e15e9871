// SPDX-License-Identifier: GPL-3.0-or-later
// The real window against a receiver whose replies come at awkward moments: a reply left
// waiting on the line from before the port was opened, a status reply in the same read as the
// settings reply, replies that arrive after the next poll tick. The receiver must hear only the
// lines the user's actions and the snapshot of its real settings produce, and the frequency
// display must never show anything but the receiver's frequency, "No serial" or the start text.
#include "area_watch.h"
#include "desk_fixture.h"

#include <gmock/gmock.h>

#include <QImage>

#include <thread>

namespace rxdeck::e2e {
namespace {

struct Timing
{
    std::string name;
    std::vector<std::string> simulatorOptions;
};

class ReplyTimingTest : public DeskTest, public ::testing::WithParamInterface<Timing>
{
};

TEST_P(ReplyTimingTest, OnlyRealSettingsAreEchoedAndTheDisplayShowsOnlyTheReceiversFrequency)
{
    startProgram();
    // The right part of Label1, clear of the "Serial port" menu when it drops down.
    const QRect label = panel().onScreen(controls::Label1).adjusted(130, 0, 0, 0);
    const std::string startText = grabArea(label);
    ASSERT_FALSE(startText.empty()) << "cannot read the screen";
    startSimulator(GetParam().simulatorOptions);

    AreaWatch watch(label);
    panel().choose(Menu::SerialPort, 0);
    ASSERT_TRUE(traffic().waitForPolls(5, 0)) << "the status poll did not start";
    // Chosen again while the poll runs, as the automatic recovery does too.
    for (int again = 0; again < 3; ++again) {
        const std::size_t mark = received();
        panel().choose(Menu::SerialPort, 0);
        ASSERT_TRUE(traffic().waitForLine(settingsQuery, mark, 3s));
        ASSERT_TRUE(traffic().waitForPolls(5, mark));
    }
    std::this_thread::sleep_for(500ms);
    const std::string frequencyText = grabArea(label); // " 14.200.000", settled
    const auto seen = watch.stop();

    // The simulator ends: the port is lost and the display says "No serial".
    simulator().stop();
    std::string noSerialText;
    traffic().waitUntil(
        [&](const Lines&) {
            noSerialText = grabArea(label);
            return noSerialText != frequencyText;
        },
        5s);
    keepScreenshot();

    int strange = 0;
    for (const auto& [picture, grabs] : seen) {
        if (picture != startText && picture != frequencyText && picture != noSerialText) {
            // Kept for a look: what the display showed instead.
            const QImage image(reinterpret_cast<const uchar*>(picture.data()), label.width(),
                               label.height(), QImage::Format_RGB32);
            keepArtifact(image, artifactName("-strange-" + std::to_string(strange)));
            strange += grabs;
        }
    }
    EXPECT_EQ(strange, 0) << "grabs of Label1 that showed something else, among " << seen.size()
                          << " different pictures";

    // Polls and settings queries aside, the snapshot's echo of the simulator's own settings
    // (squelch 0, dwell 2.5 s, step 5 kHz) is all the receiver heard, once.
    Lines rest = withoutStatusQueries(traffic().lines());
    std::erase(rest, settingsQuery);
    EXPECT_THAT(rest, ::testing::ElementsAre("SQL0", "SDW2.5", "inc5"));
    EXPECT_TRUE(panel().alive());
}

INSTANTIATE_TEST_SUITE_P(Receiver, ReplyTimingTest,
                         ::testing::Values(Timing{"StaleReplyAtOpen", {"--stale-reply"}},
                                           Timing{"RunTogether", {"--run-together"}},
                                           Timing{"PastTheNextTick", {"--lag", "150"}},
                                           Timing{"LateAndSplit", {"--delay", "80"}}),
                         [](const ::testing::TestParamInfo<Timing>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace rxdeck::e2e
