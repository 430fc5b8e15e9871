// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <poll.h>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace rxdeck::sim {

namespace {

// The fault injector draws from its own stream, so switching faults on does not change the
// signal readings of a seeded run.
constexpr std::uint64_t faultStream = 0x5eed0f0fa17ULL;

constexpr std::string_view statusQuery = "FRQ?;DET?;SGV?;BWS?";

int pollTimeoutMs(std::optional<Clock::time_point> wake, Clock::time_point now)
{
    if (!wake) {
        return -1;
    }
    if (*wake <= now) {
        return 0;
    }
    // Round up, so the loop does not wake a little early and spin until the deadline.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
    return static_cast<int>(std::min<std::int64_t>(wait.count(), 60'000));
}

void announce(const std::string& devicePath)
{
    std::printf("%s\n", devicePath.c_str());
    std::fflush(stdout);
}

} // namespace

Simulator::Simulator(const Options& options, std::uint64_t seed)
    : options_(options), receiver_(seed), faults_(options.faults, seed ^ faultStream)
{
    if (options_.log) {
        log_.emplace(*options_.log, options_.logReplies);
    }
    if (!options_.signalsAt.empty() || options_.signalFile) {
        receiver_.signalModel().setFixedSignals(
            std::map<std::int64_t, double>(options_.signalsAt.begin(), options_.signalsAt.end()));
    }
    receiver_.setSettle(options_.settle);
    if (options_.link) {
        link_.emplace(*options_.link);
    }
    plugIn();
    if (options_.hangupAfter) {
        hangupAt_ = Clock::now() + *options_.hangupAfter;
    }
}

void Simulator::plugIn()
{
    device_.emplace();
    if (link_) {
        link_->pointTo(device_->devicePath());
    }
    if (options_.faults.staleReply) {
        output_.push(Clock::now(), receiver_.handleLine(statusQuery, Clock::now()));
        output_.sendDue(Clock::now(), device_->master(), log_ ? &*log_ : nullptr);
    }
    announce(device_->devicePath());
}

void Simulator::unplug()
{
    // The link goes first, so whoever notices the hang-up already finds the name gone.
    if (link_) {
        link_->remove();
    }
    device_.reset();
    output_.clear();
    lines_.clear();
    std::fprintf(stderr, "rxdeck-sim: line hung up\n");
}

int Simulator::run()
{
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{signals_.fd(), POLLIN, 0}, pollfd{-1, POLLIN, 0}};
        if (device_) {
            fds[1].fd = device_->master();
        }
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(nextWake(), Clock::now()));
        if (ready < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if ((fds[0].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            [[maybe_unused]] const auto consumed = ::read(signals_.fd(), &info, sizeof info);
            return 0;
        }

        const auto now = Clock::now();
        if (device_ && (fds[1].revents & POLLIN) != 0) {
            receive(now);
        }
        receiver_.advance(now);
        if (device_) {
            output_.sendDue(now, device_->master(), log_ ? &*log_ : nullptr);
        }
        if (hangupAt_ && *hangupAt_ <= now) {
            hangupAt_.reset();
            unplug();
            if (options_.returnAfter) {
                returnAt_ = now + *options_.returnAfter;
            }
        }
        if (returnAt_ && *returnAt_ <= now) {
            returnAt_.reset();
            plugIn();
        }
    }
}

void Simulator::receive(Clock::time_point now)
{
    std::array<char, 1024> buffer{};
    const ssize_t count = ::read(device_->master(), buffer.data(), buffer.size());
    if (count <= 0) {
        return;
    }
    readSignalFile();
    for (const std::string& line : lines_.feed(std::string_view(buffer.data(), count))) {
        if (log_) {
            log_->received(line);
        }
        std::string reply = receiver_.handleLine(line, now);
        if (options_.faults.runTogether && reply.starts_with("RFP")) {
            reply += receiver_.handleLine(statusQuery, now);
        }
        for (auto& transmission : faults_.shape(std::move(reply))) {
            // A reply is whole at the far end only once its last character has crossed
            // the line; a program that reads right after asking must not see it yet.
            const auto lineTime =
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    options_.baud == 0 ? 0.0
                                       : 10.0 * double(transmission.bytes.size()) / options_.baud));
            output_.push(now + transmission.after + lineTime, std::move(transmission.bytes));
        }
    }
}

void Simulator::readSignalFile()
{
    if (!options_.signalFile) {
        return;
    }
    std::error_code error;
    const auto changed = std::filesystem::last_write_time(*options_.signalFile, error);
    if (error || changed == signalFileTime_) {
        return;
    }
    signalFileTime_ = changed;
    std::map<std::int64_t, double> levels;
    std::ifstream in(*options_.signalFile);
    for (std::string line; std::getline(in, line);) {
        if (const auto signal = parseSignalAt(line)) {
            levels.insert(*signal);
        } else if (!line.empty() && line[0] != '#') {
            std::fprintf(stderr, "rxdeck-sim: ignoring signal line '%s'\n", line.c_str());
        }
    }
    receiver_.signalModel().setFixedSignals(std::move(levels));
}

std::optional<Clock::time_point> Simulator::nextWake() const
{
    std::optional<Clock::time_point> wake;
    for (const auto& candidate : {receiver_.nextEvent(), output_.nextDue(), hangupAt_, returnAt_}) {
        if (candidate && (!wake || *candidate < *wake)) {
            wake = candidate;
        }
    }
    return wake;
}

} // namespace rxdeck::sim
