// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with the failed property's line, so libFuzzer keeps the input.
#define REQUIRE(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed at line %d: %s\n", __LINE__, #condition);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
