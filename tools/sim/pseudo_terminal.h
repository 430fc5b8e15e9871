// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "unique_fd.h"

#include <string>

namespace rxdeck::sim {

// A pseudo-terminal standing in for the receiver's serial line. The program under test opens
// the device path; the simulator reads and writes the master side. The simulator keeps a raw
// handle on the device too, so the program closing the port never hangs the line up.
// Destroying it makes the device disappear, as if the USB adapter had been pulled.
class PseudoTerminal
{
public:
    PseudoTerminal(); // throws std::system_error

    int master() const { return master_.get(); }
    const std::string& devicePath() const { return devicePath_; }

private:
    UniqueFd master_;
    UniqueFd device_;
    std::string devicePath_;
};

} // namespace rxdeck::sim
