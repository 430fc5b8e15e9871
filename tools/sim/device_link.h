// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace rxdeck::sim {

// A symbolic link with a stable name (say /tmp/wj8712) that follows the current pseudo-terminal.
// It is removed again when the device goes away and when the simulator ends.
class DeviceLink
{
public:
    explicit DeviceLink(std::filesystem::path path) : path_(std::move(path)) {}
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink() { remove(); }

    // Points the link at the device, replacing an existing symlink in one step.
    // Throws std::runtime_error rather than replace anything that is not a symlink.
    void pointTo(const std::string& device);

    // Removes the link if it still points where this simulator put it.
    void remove() noexcept;

private:
    std::filesystem::path path_;
    std::string target_;
};

} // namespace rxdeck::sim
