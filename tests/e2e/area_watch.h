// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Watches a screen area many times a second, straight from the X server, and keeps every
// different picture it showed: fast enough to catch a text that stands for one poll tick.

#include <QRect>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace rxdeck::e2e {

// The area's pixels as the server holds them now, or empty when the grab failed.
std::string grabArea(QRect area);

class AreaWatch
{
public:
    explicit AreaWatch(QRect area);
    AreaWatch(const AreaWatch&) = delete;
    AreaWatch& operator=(const AreaWatch&) = delete;
    ~AreaWatch();

    // Stops watching; returns each picture seen with how many grabs showed it.
    std::map<std::string, int> stop();

private:
    QRect area_;
    std::atomic<bool> running_{true};
    std::map<std::string, int> seen_;
    std::thread thread_;
};

} // namespace rxdeck::e2e
