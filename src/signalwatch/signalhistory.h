// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signalwatch/readings.h"

#include <deque>
#include <QObject>

namespace rxdeck::signalwatch {

// The recent past of the status poll: a bounded ring of readings that keeps running
// while nobody looks, so that a chart opened later shows what went before.
class SignalHistory : public QObject
{
    Q_OBJECT
public:
    // Ten minutes of a poll every 100 ms.
    static constexpr std::size_t defaultCapacity = 6000;

    explicit SignalHistory(std::size_t capacity = defaultCapacity, QObject* parent = nullptr);

    void add(const rxdeck::ReceiverStatus& status, const QDateTime& timeUtc);
    // The status as read now.
    void addNow(const rxdeck::ReceiverStatus& status);

    const std::deque<Reading>& readings() const { return readings_; }
    std::size_t capacity() const { return capacity_; }
    void clear();

    // Whether a reading tunes elsewhere than the one before it: frequency or mode changed.
    static bool changesTuning(const Reading& before, const Reading& after);

signals:
    void added(const rxdeck::signalwatch::Reading& reading);
    void cleared();

private:
    std::size_t capacity_;
    std::deque<Reading> readings_;
};

} // namespace rxdeck::signalwatch
