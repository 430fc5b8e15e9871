// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/readings.h"

#include "link/receiver.h"

namespace rxdeck::signalwatch {

QString modeName(int mode)
{
    const receiver::Mode* m = receiver::mode(mode);
    return m ? QString::fromLatin1(m->name) : QString();
}

int bandwidthHz(int bandwidth)
{
    return receiver::bandwidthHz(bandwidth);
}

} // namespace rxdeck::signalwatch
