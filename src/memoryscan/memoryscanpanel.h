// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/memoryscanner.h"

#include <QWidget>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace rxdeck::memoryscan {

// The memory scan's controls: start and stop, Skip and Next while scanning, where
// to stop and for how long, and the recent stops, any of which can become a memory.
class MemoryScanPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int recentStops = 50;

    explicit MemoryScanPanel(QWidget* parent = nullptr);

    void setSettings(const Settings& settings);
    Settings settings() const;
    void showState(MemoryScanner::State state);
    void addStop(const Stop& stop);

    QPushButton* startStopButton() const { return startStop_; }
    QListWidget* stopList() const { return stops_; }
    // Its controls in the order Tab visits them.
    std::vector<QWidget*> tabOrder() const;

signals:
    void startStopClicked();
    void skipClicked();
    void lockOutClicked();
    void nextClicked();
    void settingsChanged(const rxdeck::memoryscan::Settings& settings);
    void addAsMemory(const rxdeck::memoryscan::Stop& stop);

private:
    void addSelectedAsMemory();

    QPushButton* startStop_;
    QPushButton* skip_;
    QPushButton* lockOut_;
    QPushButton* next_;
    QRadioButton* bySquelch_;
    QRadioButton* byLevel_;
    QSpinBox* level_;
    QDoubleSpinBox* hang_;
    QDoubleSpinBox* dwell_;
    QListWidget* stops_;
    QPushButton* addMemory_;
    std::vector<Stop> kept_; // newest first, as listed
};

} // namespace rxdeck::memoryscan
