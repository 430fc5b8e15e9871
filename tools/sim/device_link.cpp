// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_link.h"

#include <stdexcept>
#include <unistd.h>

namespace rxdeck::sim {

namespace fs = std::filesystem;

void DeviceLink::pointTo(const std::string& device)
{
    std::error_code error;
    const auto status = fs::symlink_status(path_, error);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        throw std::runtime_error(path_.string() + " exists and is not a symbolic link");
    }
    // Make the new link beside the old one and rename it over, so the name never dangles.
    fs::path temporary = path_;
    temporary += ".rxdeck-sim-" + std::to_string(::getpid());
    fs::remove(temporary, error);
    fs::create_symlink(device, temporary);
    fs::rename(temporary, path_);
    target_ = device;
}

void DeviceLink::remove() noexcept
{
    if (target_.empty()) {
        return;
    }
    std::error_code error;
    if (fs::read_symlink(path_, error) == fs::path(target_)) {
        fs::remove(path_, error);
    }
    target_.clear();
}

} // namespace rxdeck::sim
