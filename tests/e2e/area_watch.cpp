// SPDX-License-Identifier: GPL-3.0-or-later
#include "area_watch.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace rxdeck::e2e {
namespace {

struct Disconnect
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

std::string grab(xcb_connection_t* connection, QRect area)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const auto cookie = xcb_get_image(
        connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<int16_t>(area.x()),
        static_cast<int16_t>(area.y()), static_cast<uint16_t>(area.width()),
        static_cast<uint16_t>(area.height()), ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(connection, cookie, nullptr), &std::free);
    if (!reply) {
        return {};
    }
    const auto* data = reinterpret_cast<const char*>(xcb_get_image_data(reply.get()));
    return std::string(data, static_cast<std::size_t>(xcb_get_image_data_length(reply.get())));
}

} // namespace

std::string grabArea(QRect area)
{
    const Connection connection(xcb_connect(nullptr, nullptr));
    return xcb_connection_has_error(connection.get()) != 0 ? std::string()
                                                           : grab(connection.get(), area);
}

AreaWatch::AreaWatch(QRect area)
    : area_(area), thread_([this] {
          const Connection connection(xcb_connect(nullptr, nullptr));
          if (xcb_connection_has_error(connection.get()) != 0) {
              return;
          }
          while (running_) {
              const std::string picture = grab(connection.get(), area_);
              if (!picture.empty()) {
                  ++seen_[picture];
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
      })
{
}

AreaWatch::~AreaWatch()
{
    stop();
}

std::map<std::string, int> AreaWatch::stop()
{
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
    return seen_;
}

} // namespace rxdeck::e2e
