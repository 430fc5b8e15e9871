// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop.h"

#include "support/childprocess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace rxdeck::e2e {

using test::ChildProcess;
using test::onPath;
using test::runCommand;
using namespace std::chrono_literals;

namespace {

// Starts Xvfb on a display number it chooses itself; it prints the number once it accepts
// connections.
std::optional<std::string> startPrivateServer(std::unique_ptr<ChildProcess>& server)
{
    server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp", "-noreset"},
        ChildProcess::Options{.pipeOutput = true});
    const std::string number = server->readLine(20s).value_or("");
    if (number.empty()) {
        server.reset();
        return "Xvfb did not start";
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return std::nullopt;
}

std::vector<std::string> xdotool(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "xdotool");
    return arguments;
}

void run(const std::vector<std::string>& arguments)
{
    const auto result = runCommand(xdotool(arguments));
    EXPECT_TRUE(result.ok()) << "xdotool " << ::testing::PrintToString(arguments) << " failed";
}

std::string at(QPoint point)
{
    return std::to_string(point.x()) + " " + std::to_string(point.y());
}

std::vector<std::string> mouseTo(QPoint point)
{
    return {"mousemove", std::to_string(point.x()), std::to_string(point.y())};
}

} // namespace

std::optional<std::string> unavailableDisplay()
{
    static std::unique_ptr<ChildProcess> server;
    static std::optional<std::string> verdict = []() -> std::optional<std::string> {
        if (!onPath("xdotool")) {
            return "xdotool is not installed";
        }
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            if (!onPath("Xvfb")) {
                return "no DISPLAY and no Xvfb";
            }
            if (auto failure = startPrivateServer(server)) {
                return failure;
            }
        }
        // An X server resets when its last client leaves and turns connections away while it
        // does, which would fail a program started right after the previous one ended. A
        // connection held for the whole run keeps any server, ours or not, from resetting.
        static xcb_connection_t* const keeper = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(keeper) != 0) {
            return "cannot open display " + std::string(std::getenv("DISPLAY"));
        }
        if (!runCommand(xdotool({"getdisplaygeometry"})).ok()) {
            return "xdotool cannot use display " + std::string(std::getenv("DISPLAY"));
        }
        return std::nullopt;
    }();
    return verdict;
}

namespace xdo {

std::vector<WindowId> search(const std::vector<std::string>& criteria)
{
    // xdotool's default is to match any one of the criteria; a window must match them all.
    std::vector<std::string> arguments{"search", "--all"};
    arguments.insert(arguments.end(), criteria.begin(), criteria.end());
    // No match is exit status 1 with no output: an empty list, not an error.
    std::istringstream lines(runCommand(xdotool(arguments), {.timeout = 5s}).output);
    std::vector<WindowId> windows;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            windows.push_back(line);
        }
    }
    return windows;
}

std::optional<QRect> geometry(const WindowId& window)
{
    const auto result =
        runCommand(xdotool({"getwindowgeometry", "--shell", window}), {.timeout = 5s});
    if (!result.ok()) {
        return std::nullopt;
    }
    int x = 0, y = 0, width = 0, height = 0;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(0, equals);
        const int value = std::atoi(line.c_str() + equals + 1);
        if (name == "X") {
            x = value;
        } else if (name == "Y") {
            y = value;
        } else if (name == "WIDTH") {
            width = value;
        } else if (name == "HEIGHT") {
            height = value;
        }
    }
    return QRect(x, y, width, height);
}

void moveTo(const WindowId& window, QPoint topLeft)
{
    // Without a window manager the move is immediate; --sync would wait for ever when the
    // window already stands there, so the result is polled instead.
    runCommand(
        xdotool({"windowmove", window, std::to_string(topLeft.x()), std::to_string(topLeft.y())}));
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto rect = geometry(window);
        if (rect && rect->topLeft() == topLeft) {
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << "window " << window << " did not move to " << at(topLeft);
}

void click(QPoint point)
{
    auto arguments = mouseTo(point);
    arguments.insert(arguments.end(), {"click", "1"});
    run(arguments);
}

void wheel(QPoint point, int notches)
{
    auto arguments = mouseTo(point);
    arguments.insert(arguments.end(), {"click", "--repeat", std::to_string(std::abs(notches)),
                                       "--delay", "50", notches > 0 ? "4" : "5"});
    run(arguments);
}

void press(QPoint point)
{
    auto arguments = mouseTo(point);
    arguments.insert(arguments.end(), {"mousedown", "1"});
    run(arguments);
}

void release()
{
    run({"mouseup", "1"});
}

void drag(QPoint from, QPoint to)
{
    press(from);
    constexpr int steps = 6;
    for (int i = 1; i <= steps; ++i) {
        std::this_thread::sleep_for(30ms);
        run(mouseTo(from + (to - from) * i / steps));
    }
    std::this_thread::sleep_for(50ms);
    release();
}

void key(const std::string& keys)
{
    run({"key", keys});
}

void type(const std::string& text)
{
    run({"type", "--delay", "30", text});
}

} // namespace xdo

QImage screenshot(const WindowId& window)
{
    char name[] = "/tmp/rxdeck-e2e-shot-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        ADD_FAILURE() << "no temporary file for a screenshot";
        return {};
    }
    ::close(fd);
    // A window that is being mapped or repainted can refuse a grab for a moment.
    QImage image;
    for (int attempt = 0; attempt < 3 && image.isNull(); ++attempt) {
        const auto result = runCommand(
            {"import", "-silent", "-window", window, "png:" + std::string(name)}, {.timeout = 20s});
        if (!result.ok() || !image.load(QString::fromLocal8Bit(name), "PNG")) {
            std::this_thread::sleep_for(200ms);
        }
    }
    std::filesystem::remove(name);
    EXPECT_FALSE(image.isNull()) << "no screenshot of window " << window;
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace rxdeck::e2e
