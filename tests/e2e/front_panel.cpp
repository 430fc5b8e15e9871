// SPDX-License-Identifier: GPL-3.0-or-later
#include "front_panel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace rxdeck::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int pixels(int twips)
{
    return twips / 15;
}

const QRgb panelGreen = qRgb(0, 64, 0);

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 220 && qGreen(pixel) > 220 && qBlue(pixel) > 220;
}

bool isMenuText(QRgb pixel)
{
    return qGray(pixel) < 110;
}

int itemCount(Menu menu)
{
    switch (menu) {
    case Menu::SerialPort:
        return 5;
    case Menu::Signal:
        return 3;
    case Menu::Help:
        break;
    }
    return 2;
}

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// The program and the options a test starts it with.
std::vector<std::string> commandLine(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{RXDECK_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

} // namespace

FrontPanel::FrontPanel(const std::filesystem::path& device, const std::filesystem::path& dataHome,
                       const std::filesystem::path& output,
                       const std::vector<std::string>& arguments)
    : process_(commandLine(arguments),
               {.environment = {{"RXDECK_COMM1", device.string()},
                                {"XDG_DATA_HOME", dataHome.string()},
                                {"XDG_CONFIG_HOME", (dataHome / "config").string()},
                                {"QT_QPA_PLATFORM", "xcb"}},
                .output = output})
{
    const std::vector<std::string> criteria{"--onlyvisible", "--pid", std::to_string(pid()),
                                            "--name", "Rxdeck  V2.2$"};
    const bool found = eventually(
        [&] {
            const auto windows = xdo::search(criteria);
            if (!windows.empty()) {
                window_ = windows.front();
            }
            return !window_.empty() || !process_.running();
        },
        30s);
    if (!found || window_.empty()) {
        const auto status = process_.endStatus();
        throw std::runtime_error(
            "the program's window did not appear" +
            (status ? ", it ended with status " + std::to_string(*status) : std::string()));
    }
    xdo::moveTo(window_, QPoint(0, 0));
    windowOrigin_ = xdo::geometry(window_).value_or(QRect()).topLeft();
    locatePanel();
    locateMenus();
}

void FrontPanel::locatePanel()
{
    // The panel is the window's dark-green central area, right below the menu bar. Its first
    // green row, in a column left of every control, gives the menu bar's height.
    const bool painted = eventually(
        [&] {
            const QImage image = screenshot();
            for (int y = 0; y < std::min(image.height(), 100); ++y) {
                if (image.pixel(2, y) == panelGreen) {
                    menuBarHeight_ = y;
                    return y > 0;
                }
            }
            return false;
        },
        20s);
    if (!painted) {
        throw std::runtime_error("the panel's background never showed");
    }
    // The client area below the menu bar is 568 pixels high, with room for a status bar.
    const auto size = xdo::geometry(window_).value_or(QRect());
    EXPECT_GE(size.height(), menuBarHeight_ + 568) << "menu bar height " << menuBarHeight_;
}

void FrontPanel::locateMenus()
{
    // The titles are runs of dark text columns in the menu bar; the blank inside "Serial port"
    // is narrower than the gap between two titles.
    const QImage image = screenshot();
    int runStart = -1;
    int lastText = -100;
    for (int x = 0; x < image.width(); ++x) {
        bool text = false;
        for (int y = 0; y < menuBarHeight_ && !text; ++y) {
            text = isMenuText(image.pixel(x, y));
        }
        if (!text) {
            continue;
        }
        if (x - lastText > 12) {
            if (runStart >= 0) {
                menuTitles_.emplace_back(runStart, 0, lastText - runStart + 1, menuBarHeight_);
            }
            runStart = x;
        }
        lastText = x;
    }
    if (runStart >= 0) {
        menuTitles_.emplace_back(runStart, 0, lastText - runStart + 1, menuBarHeight_);
    }
    // Serial port, Scan, Signal, Help.
    if (menuTitles_.size() != 4) {
        throw std::runtime_error("expected four menu titles, found " +
                                 std::to_string(menuTitles_.size()));
    }
}

QRect FrontPanel::onScreen(const Twips& control) const
{
    return QRect(windowOrigin_.x() + pixels(control.left),
                 windowOrigin_.y() + menuBarHeight_ + pixels(control.top), pixels(control.width),
                 pixels(control.height));
}

void FrontPanel::click(const Twips& control)
{
    xdo::click(onScreen(control).center());
}

void FrontPanel::hold(const Twips& control, std::chrono::milliseconds duration)
{
    xdo::press(onScreen(control).center());
    std::this_thread::sleep_for(duration);
    xdo::release();
}

void FrontPanel::typeInto(const Twips& box, const std::string& text)
{
    click(box);
    xdo::key("ctrl+a");
    xdo::type(text);
}

void FrontPanel::dragThumb(const Twips& slider, int dx)
{
    // The thumb is the longest run of near-white pixels along the bar's middle row, leaving
    // out the arrow buttons at both ends (about as wide as the bar is high).
    const QRect bar = onScreen(slider).translated(-windowOrigin_);
    const QImage image = screenshot();
    const int y = bar.center().y();
    const int margin = bar.height() * 3 / 4;
    int bestStart = -1, bestLength = 0, runStart = -1;
    for (int x = bar.left() + margin; x <= bar.right() - margin + 1; ++x) {
        const QRgb pixel = x <= bar.right() - margin ? image.pixel(x, y) : 0;
        const bool light = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) >= 240;
        if (light && runStart < 0) {
            runStart = x;
        } else if (!light && runStart >= 0) {
            if (x - runStart > bestLength) {
                bestStart = runStart;
                bestLength = x - runStart;
            }
            runStart = -1;
        }
    }
    ASSERT_GE(bestLength, 5) << "no slider thumb found";
    const QPoint thumb = windowOrigin_ + QPoint(bestStart + bestLength / 2, y);
    xdo::drag(thumb, thumb + QPoint(dx, 0));
}

void FrontPanel::choose(Menu menu, int item)
{
    // Signal stands right before Help, which stays the last title.
    const QRect title = menu == Menu::SerialPort ? menuTitles_.front()
                        : menu == Menu::Signal   ? menuTitles_[menuTitles_.size() - 2]
                                                 : menuTitles_.back();
    // The popup has no WM_NAME to search by: it is the program's window that hangs from the
    // menu bar below the title.
    const auto findPopup = [&]() -> std::optional<QRect> {
        const QPoint below = windowOrigin_ + QPoint(title.left(), menuBarHeight_);
        for (const auto& window : xdo::search({"--onlyvisible", "--pid", std::to_string(pid())})) {
            const auto rect = xdo::geometry(window);
            if (window != window_ && rect && std::abs(rect->top() - below.y()) <= 8 &&
                std::abs(rect->left() - below.x()) <= 40) {
                return rect;
            }
        }
        return std::nullopt;
    };
    // A click that arrives while the program is busy may be lost: try the title again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        xdo::click(windowOrigin_ + title.center());
        std::optional<QRect> popup;
        eventually([&] { return (popup = findPopup()).has_value(); }, 3s);
        if (!popup) {
            continue;
        }
        // The items share the popup's height equally.
        const int n = itemCount(menu);
        xdo::click(QPoint(popup->left() + popup->width() / 3,
                          popup->top() + popup->height() * (2 * item + 1) / (2 * n)));
        EXPECT_TRUE(eventually([&] { return !findPopup(); }, 3s)) << "the menu stayed open";
        return;
    }
    ADD_FAILURE() << "the menu did not open";
}

QImage FrontPanel::screenshot() const
{
    return e2e::screenshot(window_);
}

int FrontPanel::textWidth(const Twips& label) const
{
    // Inside the label's one-pixel white border.
    const QRect area = onScreen(label).translated(-windowOrigin_).adjusted(3, 3, -3, -3);
    const QImage image = screenshot();
    int left = area.right() + 1, right = area.left() - 1;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if (isWhite(image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                break;
            }
        }
    }
    return std::max(0, right - left + 1);
}

std::vector<WindowId> FrontPanel::windowsNamed(const std::string& pattern) const
{
    return xdo::search(
        {"--onlyvisible", "--pid", std::to_string(process_.pid()), "--name", pattern});
}

std::filesystem::path keepArtifact(const QImage& image, const std::string& name)
{
    const std::filesystem::path folder = RXDECK_E2E_ARTIFACTS;
    std::filesystem::create_directories(folder);
    const auto path = folder / (name + ".png");
    image.save(QString::fromStdString(path.string()), "PNG");
    return path;
}

} // namespace rxdeck::e2e
