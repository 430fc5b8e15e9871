// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/memoryscanner.h"

#include "link/numbertext.h"
#include "link/receiver.h"

#include <cmath>

namespace rxdeck::memoryscan {
namespace {

// Replies on another frequency than the one tuned: the receiver refused it.
constexpr int mismatchesBeforeMovingOn = 3;

} // namespace

MemoryScanner::MemoryScanner(Tune tune, QObject* parent) : QObject(parent), tune_(std::move(tune))
{
    clock_.start();
}

double MemoryScanner::thresholdDbm() const
{
    return settings_.squelchThreshold ? -double(squelch_) : settings_.levelDbm;
}

std::optional<double> MemoryScanner::validFrequency(const QString& text)
{
    const std::optional<double> mhz = numberOfText(text);
    if (!mhz || !(*mhz >= lowestMHz && *mhz <= highestMHz))
        return std::nullopt;
    return mhz;
}

bool MemoryScanner::scannable(std::size_t index) const
{
    const Channel& channel = channels_[index];
    return !channel.lockedOut && !skipped_[index] && validFrequency(channel.frequency);
}

bool MemoryScanner::start(std::vector<Channel> channels)
{
    stop();
    channels_ = std::move(channels);
    skipped_.assign(channels_.size(), false);
    std::size_t first = 0;
    while (first < channels_.size() && !scannable(first))
        ++first;
    if (first == channels_.size()) {
        channels_.clear();
        emit nothingToScan(tr("No memory to scan: none has a frequency from 0.005 to 30 MHz "
                              "that is not locked out"));
        return false;
    }
    index_ = first;
    setState(State::Trying);
    tuneCurrent();
    return true;
}

void MemoryScanner::stop()
{
    if (state_ == State::Idle)
        return;
    if (state_ == State::Holding || (state_ == State::Paused && pausedIn_ == State::Holding))
        endStop();
    setState(State::Idle);
    emit currentRowChanged(-1);
}

void MemoryScanner::skip()
{
    if (state_ != State::Trying && state_ != State::Holding)
        return;
    skipped_[index_] = true;
    next();
}

void MemoryScanner::next()
{
    if (state_ == State::Holding)
        endStop();
    if (state_ == State::Trying || state_ == State::Holding)
        moveOn();
}

void MemoryScanner::pause()
{
    if (state_ != State::Trying && state_ != State::Holding)
        return;
    pausedIn_ = state_;
    setState(State::Paused);
}

void MemoryScanner::resume()
{
    if (state_ != State::Paused)
        return;
    // What was heard before the port went away is no news of now: try the memory again.
    if (pausedIn_ == State::Holding)
        endStop();
    setState(State::Trying);
    tuneCurrent();
}

std::optional<Channel> MemoryScanner::current() const
{
    if (state_ == State::Idle || index_ >= channels_.size())
        return std::nullopt;
    return channels_[index_];
}

void MemoryScanner::moveOn()
{
    for (std::size_t tried = 0; tried < channels_.size(); ++tried) {
        index_ = (index_ + 1) % channels_.size();
        if (scannable(index_)) {
            setState(State::Trying);
            tuneCurrent();
            return;
        }
    }
    // Every memory is locked out now; the stop, if any, has already ended.
    setState(State::Idle);
    emit currentRowChanged(-1);
    emit nothingToScan(tr("Memory scan ended: every memory is locked out"));
}

void MemoryScanner::tuneCurrent()
{
    const double mhz = validFrequency(channels_[index_].frequency).value_or(0);
    tunedHz_ = std::llround(mhz * 1e6);
    mismatches_ = 0;
    quietSinceMs_.reset();
    judgedFrom_.reset();
    // The next query to go out is the first whose reply can tell of this memory.
    firstFreshReply_ = queriesSent_;
    tunedAtMs_ = clock_.elapsed();
    emit currentRowChanged(channels_[index_].row);
    if (!tune_(frequencyText(mhz)))
        pause();
}

void MemoryScanner::querySent(quint64 query)
{
    queriesSent_ = query + 1;
    if (state_ == State::Trying && !judgedFrom_ &&
        clock_.elapsed() - tunedAtMs_ >= settings_.dwellMs)
        judgedFrom_ = query;
}

void MemoryScanner::statusDecoded(const ReceiverStatus& status)
{
    if ((state_ != State::Trying && state_ != State::Holding) || status.reply < firstFreshReply_)
        return;
    // A reply cut short before its last field, the bandwidth digit, may have lost its
    // signal field too, which then reads 0 dBm: no news of the memory.
    if (status.bandwidth == 0)
        return;
    const qint64 now = clock_.elapsed();
    const bool heard = status.signalDbm >= thresholdDbm();
    if (state_ == State::Trying) {
        // The receiver tunes to the hertz; a memory written finer is rounded alike.
        if (std::llabs(status.frequencyHz - tunedHz_) > 1) {
            if (++mismatches_ >= mismatchesBeforeMovingOn)
                moveOn();
            return;
        }
        if (!judgedFrom_ || status.reply < *judgedFrom_)
            return; // still settling
        if (heard) {
            // The frequency in the receiver's own form, nn.nnnnnn.
            stop_ = Stop{QDateTime::currentDateTimeUtc(),
                         QString::number(double(status.frequencyHz) / 1e6, 'f', 6),
                         channels_[index_].note,
                         status.signalDbm,
                         0,
                         channels_[index_].row};
            setState(State::Holding);
        } else {
            moveOn();
        }
        return;
    }
    // Holding.
    if (heard) {
        stop_.peakDbm = std::max(stop_.peakDbm, status.signalDbm);
        quietSinceMs_.reset();
        return;
    }
    if (!quietSinceMs_)
        quietSinceMs_ = now;
    if (now - *quietSinceMs_ >= settings_.hangMs) {
        endStop();
        moveOn();
    }
}

void MemoryScanner::endStop()
{
    stop_.seconds = double(stop_.startUtc.msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0;
    emit stopEnded(stop_);
}

void MemoryScanner::setState(State state)
{
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

} // namespace rxdeck::memoryscan
