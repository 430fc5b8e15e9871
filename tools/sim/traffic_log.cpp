// SPDX-License-Identifier: GPL-3.0-or-later
#include "traffic_log.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>

namespace rxdeck::sim {

namespace {

std::string escaped(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7f) {
            constexpr std::string_view hex = "0123456789abcdef";
            text += "\\x";
            text += hex[byte >> 4];
            text += hex[byte & 0xf];
        } else {
            text += c;
        }
    }
    return text;
}

} // namespace

TrafficLog::TrafficLog(const std::filesystem::path& path, bool withReplies)
    : file_(std::fopen(path.c_str(), "a")), withReplies_(withReplies)
{
    if (!file_) {
        throw std::system_error(errno, std::generic_category(), "cannot open log " + path.string());
    }
}

void TrafficLog::received(std::string_view line)
{
    write("", line);
}

void TrafficLog::sent(std::string_view bytes)
{
    if (withReplies_) {
        write("> ", escaped(bytes));
    }
}

void TrafficLog::write(std::string_view marker, std::string_view text)
{
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    std::fprintf(file_.get(), "%lld.%06lld %.*s%.*s\n", static_cast<long long>(micros / 1000000),
                 static_cast<long long>(micros % 1000000), static_cast<int>(marker.size()),
                 marker.data(), static_cast<int>(text.size()), text.data());
    std::fflush(file_.get());
}

} // namespace rxdeck::sim
