// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

namespace rxdeck::sim {

// Appends what crosses the line to a file, one timestamped entry per line, flushed at once so
// a test can read it while the simulator runs:
//   1765140000.123456 FRQ?;DET?;SGV?;BWS?      a line received (without its line feed)
//   1765140000.123789 > FRQ 14.200000;...\r\n  a write sent, only with replies enabled
// Sent bytes are escaped (\r, \n, \xNN) so that every entry stays on one line.
class TrafficLog
{
public:
    TrafficLog(const std::filesystem::path& path, bool withReplies); // throws std::system_error

    void received(std::string_view line);
    void sent(std::string_view bytes);

private:
    void write(std::string_view marker, std::string_view text);

    struct Closer
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    bool withReplies_;
};

} // namespace rxdeck::sim
