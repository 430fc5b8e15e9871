// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QtGlobal>

namespace rxdeck {

// What one status reply said, as numbers. A digit outside its range reads 0.
struct ReceiverStatus
{
    qint64 frequencyHz = 0;
    int mode = 0;      // detection digit 1..6 (AM, FM, CW, USB, LSB, ISB)
    int bandwidth = 0; // bandwidth digit 1..5 (300 Hz … 16 kHz)
    double signalDbm = 0;
    quint64 reply = 0; // answers the status query of this number (see StatusPoll::querySent)
};

} // namespace rxdeck

Q_DECLARE_METATYPE(rxdeck::ReceiverStatus)
