// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"
#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <random>

int main(int argc, char** argv)
{
    using namespace rxdeck::sim;

    const auto parsed =
        parseOptions(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "rxdeck-sim: %s\nTry 'rxdeck-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::puts("rxdeck-sim " RXDECK_VERSION);
        return 0;
    }
    // Whoever started us may stop reading stdout; that must not kill the receiver.
    std::signal(SIGPIPE, SIG_IGN);

    try {
        const std::uint64_t seed = parsed.options.seed.value_or(std::random_device{}());
        Simulator simulator(parsed.options, seed);
        return simulator.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rxdeck-sim: %s\n", error.what());
        return 1;
    }
}
