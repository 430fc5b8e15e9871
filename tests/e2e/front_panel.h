// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's main window on the X display, operated by its design positions.

#include "desktop.h"
#include "support/childprocess.h"

#include <QImage>
#include <QPoint>
#include <QRect>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace rxdeck::e2e {

using test::ChildProcess;
using test::CommandResult;
using test::onPath;
using test::runCommand;
using namespace std::chrono_literals;

// A control's rectangle in twips on the window's panel (15 twips make one pixel). Controls
// inside a frame are given here already offset by their frame's position.
struct Twips
{
    int left, top, width, height;
};

namespace controls {
inline constexpr Twips Label1{120, 120, 4335, 1455};
inline constexpr Twips StoreA{240, 1080, 135, 135};                  // Command27
inline constexpr Twips TempA{240, 1200, 855, 255};                   // Command28
inline constexpr Twips Plus1k{1920, 3120, 735, 375};                 // Command13
inline constexpr Twips DirectEntry{720, 4320, 1815, 615};            // Text2
inline constexpr Twips SetFreq{2640, 4440, 1095, 495};               // Command1
inline constexpr Twips ScanStart{480, 5760, 1095, 495};              // Command37
inline constexpr Twips ScanStop{480, 6360, 1095, 495};               // Command40
inline constexpr Twips LowLimit{2040 + 360, 5520 + 240, 1215, 315};  // Text1 in Frame12
inline constexpr Twips HighLimit{2040 + 360, 6240 + 240, 1215, 315}; // Text4 in Frame13
inline constexpr Twips AM{4680, 1560, 735, 255};                     // Command2
inline constexpr Twips USB{7200, 1560, 735, 255};                    // Command5
inline constexpr Twips Squelch{4560 + 480, 7320 + 480, 4215, 375};   // HScroll5 in Frame11
inline constexpr Twips Gain{4560 + 2880, 3000 + 480, 1935, 375};     // HScroll1 in Frame4
inline constexpr Twips Passband{5040, 4560, 4215, 375};              // HScroll2
} // namespace controls

enum class Menu
{
    SerialPort, // Comm1 … Comm4, Open at start
    Signal,     // Signal history, Record signal log, Band sweep; before Help
    Help,       // Memories, About; the last title, after Scan and Signal
};

class FrontPanel
{
public:
    // Starts the program with Comm1 on `device` and its data under `dataHome`, waits for its
    // window, moves it to the top-left corner and learns where panel and menus are.
    FrontPanel(const std::filesystem::path& device, const std::filesystem::path& dataHome,
               const std::filesystem::path& output, const std::vector<std::string>& arguments = {});

    bool alive() { return process_.running(); }
    // Exit code or 128 + signal once it has ended.
    std::optional<int> endStatus() const { return process_.endStatus(); }
    pid_t pid() const { return process_.pid(); }
    const WindowId& window() const { return window_; }

    // Screen pixels of a control, from its design position.
    QRect onScreen(const Twips& control) const;

    void click(const Twips& control);
    void hold(const Twips& control, std::chrono::milliseconds duration);
    // Selects the box's text and types over it.
    void typeInto(const Twips& box, const std::string& text);
    // Drags a slider's thumb, found in a screenshot, by dx pixels.
    void dragThumb(const Twips& slider, int dx);
    // Opens the menu with a click on its title and clicks item `item` (0-based).
    void choose(Menu menu, int item);

    QImage screenshot() const;
    // Width in pixels of the white text shown in a label, 0 for none.
    int textWidth(const Twips& label) const;

    // Visible windows of the program whose name matches the regular expression.
    std::vector<WindowId> windowsNamed(const std::string& pattern) const;

private:
    void locatePanel();
    void locateMenus();

    ChildProcess process_;
    WindowId window_;
    QPoint windowOrigin_;
    int menuBarHeight_ = 0;
    std::vector<QRect> menuTitles_; // window pixels
};

// Copies an image into the tests' artifact folder; returns its path.
std::filesystem::path keepArtifact(const QImage& image, const std::string& name);

} // namespace rxdeck::e2e
