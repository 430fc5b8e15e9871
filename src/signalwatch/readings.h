// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status/receiverstatus.h"

#include <QDateTime>
#include <QString>

namespace rxdeck::signalwatch {

// The names and widths that a status reply's mode and bandwidth digits stand for, or
// empty / 0 for a digit out of range.
QString modeName(int mode);
int bandwidthHz(int bandwidth);

// One status reply with the time it was read.
struct Reading
{
    QDateTime timeUtc;
    ReceiverStatus status;
};

} // namespace rxdeck::signalwatch
