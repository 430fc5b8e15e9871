// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/signalhistory.h"

namespace rxdeck::signalwatch {

SignalHistory::SignalHistory(std::size_t capacity, QObject* parent)
    : QObject(parent), capacity_(std::max<std::size_t>(capacity, 1))
{
}

void SignalHistory::add(const ReceiverStatus& status, const QDateTime& timeUtc)
{
    if (readings_.size() == capacity_)
        readings_.pop_front();
    readings_.push_back({timeUtc, status});
    emit added(readings_.back());
}

void SignalHistory::addNow(const ReceiverStatus& status)
{
    add(status, QDateTime::currentDateTimeUtc());
}

void SignalHistory::clear()
{
    readings_.clear();
    emit cleared();
}

bool SignalHistory::changesTuning(const Reading& before, const Reading& after)
{
    return before.status.frequencyHz != after.status.frequencyHz ||
           before.status.mode != after.status.mode;
}

} // namespace rxdeck::signalwatch
