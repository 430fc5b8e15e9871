// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/readings.h"

#include <array>

namespace rxdeck::signalwatch {
namespace {

constexpr std::array<const char*, 6> modeNames = {"AM", "FM", "CW", "USB", "LSB", "ISB"};
constexpr std::array<int, 5> bandwidths = {300, 1000, 3200, 6000, 16000};

} // namespace

QString modeName(int mode)
{
    return mode >= 1 && mode <= int(modeNames.size())
               ? QString::fromLatin1(modeNames[std::size_t(mode - 1)])
               : QString();
}

int bandwidthHz(int bandwidth)
{
    return bandwidth >= 1 && bandwidth <= int(bandwidths.size())
               ? bandwidths[std::size_t(bandwidth - 1)]
               : 0;
}

} // namespace rxdeck::signalwatch
