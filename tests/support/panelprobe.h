// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/controls.h"
#include "shell/led.h"

#include <QString>
#include <vector>

namespace rxdeck::test {

// The numbers of the lamps that are lit among `lamps`.
inline std::vector<int> litLamps(const Controls& ui, std::initializer_list<int> lamps)
{
    std::vector<int> lit;
    for (int n : lamps)
        if (ui.LED[std::size_t(n)]->lit())
            lit.push_back(n);
    return lit;
}

// A settings reply in the receiver's layout: each field its mnemonic, a blank and
// the value, joined by ";".
inline QString settingsReply(const QString& rfp, const QString& agc, const QString& fra,
                             const QString& frb, const QString& sql, const QString& blk,
                             const QString& sdw, const QString& inc, const QString& pbt,
                             const QString& bfo)
{
    return QStringLiteral("RFP %1;AGC %2;RFG 100;FRA %3;FRB %4;SQL %5;BLK %6;SDW %7;INC %8;"
                          "PBT %9;BFO %10")
        .arg(rfp, agc, fra, frb, sql, blk, sdw, inc, pbt)
        .arg(bfo);
}

// A status reply in the receiver's layout.
inline QString statusReply(const QString& frequency, const QString& mode, const QString& signal,
                           const QString& bandwidth)
{
    return QStringLiteral("FRQ %1;DET %2;SGV %3;BWS %4\r\n")
        .arg(frequency, mode, signal, bandwidth);
}

} // namespace rxdeck::test
