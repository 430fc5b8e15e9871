// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled only by the layering test, as part of the link layer: the shell sits above
// the link, so its header must not be found here.
#include "link/serialport.h"
#include "shell/controls.h"
