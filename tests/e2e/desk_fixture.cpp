// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk_fixture.h"

#include "memories/workbook/workbook.h"

#include <gmock/gmock.h>

#include <chrono>
#include <unistd.h>

namespace rxdeck::e2e {

namespace fs = std::filesystem;

void DeskTest::SetUp()
{
    if (const auto reason = unavailableDisplay()) {
        GTEST_SKIP() << *reason;
    }
    folder_ = fs::path(::testing::TempDir()) /
              ("rxdeck-e2e-" + artifactName("") + "-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "data");
    traffic_ = TrafficLog(folder_ / "sim.log");
}

void DeskTest::TearDown()
{
    if (folder_.empty()) {
        return;
    }
    panel_.reset();
    simulator_.reset();
    // The traffic stays with the screenshots, for a look after a failure.
    std::error_code ignored;
    fs::create_directories(RXDECK_E2E_ARTIFACTS, ignored);
    const fs::path artifacts = RXDECK_E2E_ARTIFACTS;
    fs::copy_file(traffic_.path(), artifacts / (artifactName("") + ".log"),
                  fs::copy_options::overwrite_existing, ignored);
    fs::copy_file(folder_ / "rxdeck.out", artifacts / (artifactName("") + ".out"),
                  fs::copy_options::overwrite_existing, ignored);
    fs::remove_all(folder_, ignored);
}

void DeskTest::startSimulator(const std::vector<std::string>& options)
{
    std::vector<std::string> arguments{"--seed",          "7",     "--link",
                                       device().string(), "--log", traffic_.path().string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    simulator_ = std::make_unique<rxdeck::testing::SimulatorProcess>(arguments);
    ASSERT_TRUE(simulator_->readLine(10s).has_value()) << "the simulator printed no device";
    ASSERT_TRUE(fs::exists(device()));
}

void DeskTest::startProgram(const std::vector<std::string>& arguments, const std::string& comm1)
{
    panel_.reset(); // one program at a time on the port and in the settings
    panel_ = std::make_unique<FrontPanel>(comm1.empty() ? device() : fs::path(comm1),
                                          folder_ / "data", folder_ / "rxdeck.out", arguments);
}

void DeskTest::writeMemories(const std::vector<std::vector<std::string>>& rows)
{
    workbook::Sheet sheet{QStringLiteral("Sheet1"), {}};
    for (const auto& row : rows) {
        auto& cells = sheet.rows.emplace_back();
        for (const std::string& text : row) {
            bool number = false;
            const double value = QString::fromStdString(text).toDouble(&number);
            if (text.empty())
                cells.emplace_back(workbook::Empty{});
            else if (number)
                cells.emplace_back(value);
            else
                cells.emplace_back(QString::fromStdString(text));
        }
    }
    fs::create_directories(dataFolder());
    const auto written =
        workbook::write(QString::fromStdString((dataFolder() / "Memories.xls").string()),
                        workbook::Workbook{{sheet}});
    ASSERT_TRUE(written.ok) << written.error.toStdString();
}

void DeskTest::expectWellFormedTrafficAndProgramAlive()
{
    const CommandForms forms;
    EXPECT_THAT(forms.malformed(traffic_.lines()), ::testing::IsEmpty());
    EXPECT_TRUE(panel_->alive()) << "the program ended with status "
                                 << panel_->endStatus().value_or(-1);
}

bool DeskTest::eventuallyShowsNoSerial(int startupWidth)
{
    std::vector<int> widths;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < deadline) {
        const int width = panel_->textWidth(controls::Label1);
        if (width > startupWidth * 6 / 10 && width < startupWidth * 9 / 10) {
            return true;
        }
        widths.push_back(width);
    }
    ADD_FAILURE() << "Label1 text widths " << ::testing::PrintToString(widths)
                  << ", \"Serial port?\" was " << startupWidth;
    return false;
}

void DeskTest::keepScreenshot(const std::string& suffix)
{
    keepArtifact(panel_->screenshot(), artifactName(suffix));
}

std::string DeskTest::artifactName(const std::string& suffix) const
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + suffix;
    for (char& c : name) {
        if (c == '/') {
            c = '-';
        }
    }
    return name;
}

} // namespace rxdeck::e2e
