// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/memoryscanner.h"

#include <gmock/gmock.h>

#include <functional>

namespace rxdeck::memoryscan {
namespace {

using State = MemoryScanner::State;

// The poll as the scanner sees it: each reply answers the query written just before.
struct Poll
{
    MemoryScanner& scanner;
    quint64 next = 0;

    void tick(double mhz, double dbm)
    {
        scanner.querySent(next);
        scanner.statusDecoded({qint64(mhz * 1e6 + 0.5), 4, 3, dbm, next});
        ++next;
    }
};

// Threshold -90 dBm, no hang time, no dwell: every step decides at once.
TEST(MemoryScanner, TunesOnlyScannableMemoriesAndJudgesEachByRepliesAfterItsTune)
{
    QStringList tunes;
    MemoryScanner scanner([&](const QString& f) { return tunes << f, true; });
    scanner.setSettings({false, -90, 0, 0});
    std::vector<Stop> stops;
    QObject::connect(&scanner, &MemoryScanner::stopEnded,
                     [&](const Stop& s) { stops.push_back(s); });
    Poll poll{scanner};
    poll.tick(14.2, -120); // before the start

    struct Step
    {
        const char* what;
        std::function<void()> act;
        QStringList tunesAfter;
        State state;
    };
    const std::vector<Channel> channels = {{0, "7.05", "A", false},
                                           {1, "7 MHz", "bad", false},
                                           {2, "7.1", "B", true},
                                           {3, "7.2", "C", false}};
    const Step steps[] = {
        {"start", [&] { scanner.start(channels); }, {"7.05"}, State::Trying},
        // The reply to the query written before the tune, strong, on the new frequency.
        {"stale reply",
         [&] {
             scanner.statusDecoded({7050000, 4, 3, -40, poll.next - 1});
         },
         {"7.05"},
         State::Trying},
        {"a reply cut before its bandwidth digit",
         [&] {
             scanner.querySent(poll.next);
             scanner.statusDecoded({7050000, 4, 0, 0, poll.next++});
         },
         {"7.05"},
         State::Trying},
        {"signal", [&] { poll.tick(7.05, -60); }, {"7.05"}, State::Holding},
        {"stronger", [&] { poll.tick(7.05, -50); }, {"7.05"}, State::Holding},
        {"gone: past the bad and the locked-out memory",
         [&] { poll.tick(7.05, -120); },
         {"7.05", "7.2"},
         State::Trying},
        {"silent: round again",
         [&] { poll.tick(7.2, -120); },
         {"7.05", "7.2", "7.05"},
         State::Trying},
        {"skip", [&] { scanner.skip(); }, {"7.05", "7.2", "7.05", "7.2"}, State::Trying},
        {"port lost",
         [&] {
             scanner.pause();
             poll.tick(7.2, -40);
         },
         {"7.05", "7.2", "7.05", "7.2"},
         State::Paused},
        {"port back: tuned again",
         [&] { scanner.resume(); },
         {"7.05", "7.2", "7.05", "7.2", "7.2"},
         State::Trying},
        {"refused frequency",
         [&] {
             poll.tick(9, -40);
             poll.tick(9, -40);
         },
         {"7.05", "7.2", "7.05", "7.2", "7.2"},
         State::Trying},
        {"third refusal: moves on",
         [&] { poll.tick(9, -40); },
         {"7.05", "7.2", "7.05", "7.2", "7.2", "7.2"},
         State::Trying},
        {"skip the last one",
         [&] { scanner.skip(); },
         {"7.05", "7.2", "7.05", "7.2", "7.2", "7.2"},
         State::Idle},
        {"a new start forgets skips",
         [&] { scanner.start(channels); },
         {"7.05", "7.2", "7.05", "7.2", "7.2", "7.2", "7.05"},
         State::Trying},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(tunes, step.tunesAfter) << step.what;
        EXPECT_EQ(scanner.state(), step.state) << step.what;
    }
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].frequencyMhz, "7.050000");
    EXPECT_EQ(stops[0].note, "A");
    EXPECT_EQ(stops[0].peakDbm, -50);
}

} // namespace
} // namespace rxdeck::memoryscan
