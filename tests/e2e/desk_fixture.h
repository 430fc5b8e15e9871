// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One test's desk: a scratch folder, the receiver simulator logging what it receives, and the
// program's window connected to it through the Comm1 menu item.

#include "desktop.h"
#include "front_panel.h"
#include "sim_harness.h"
#include "traffic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace rxdeck::e2e {

class DeskTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The simulator with the given extra options, its device reachable at device().
    void startSimulator(const std::vector<std::string>& options = {});
    // Comm1 names the simulator's device, or `comm1` when given (a serial server's address).
    void startProgram(const std::vector<std::string>& arguments = {},
                      const std::string& comm1 = {});

    std::filesystem::path device() const { return folder_ / "tty"; }
    std::filesystem::path folder() const { return folder_; }
    // Where the program keeps its memory workbook, Activity.csv and settings.
    std::filesystem::path dataFolder() const { return folder_ / "data" / "Rxdeck"; }
    // Writes the memory workbook as Sheet1 with these rows, the header first; a cell that
    // reads as a number is stored as one.
    void writeMemories(const std::vector<std::vector<std::string>>& rows);
    FrontPanel& panel() { return *panel_; }
    rxdeck::testing::SimulatorProcess& simulator() { return *simulator_; }
    const TrafficLog& traffic() const { return traffic_; }
    std::size_t received() const { return traffic_.lines().size(); }

    // Every line received so far has one of the command forms, and the program still runs.
    void expectWellFormedTrafficAndProgramAlive();

    // Whether Label1 comes to read "No serial" within a few seconds. It is told by the width
    // of its white text: about three quarters of "Serial port?" (startupWidth) in the same
    // font, where a frequency such as " 14.200.000" is about as wide as "Serial port?".
    bool eventuallyShowsNoSerial(int startupWidth);

    // Saves the program window's screenshot as an artifact named after the test.
    void keepScreenshot(const std::string& suffix = "");

    std::string artifactName(const std::string& suffix) const;

private:
    std::filesystem::path folder_;
    TrafficLog traffic_{""};
    std::unique_ptr<rxdeck::testing::SimulatorProcess> simulator_;
    std::unique_ptr<FrontPanel> panel_;
};

} // namespace rxdeck::e2e
