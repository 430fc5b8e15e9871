// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QDateTime>
#include <QTimer>
#include <QWidget>

class QChart;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QSpinBox;
class QValueAxis;

namespace rxdeck::signalwatch {

class SignalHistory;

// The signal in dBm against time from the history ring, on a fixed dBm scale the user
// sets: the readings, their running average, the peak held since the last reset, a
// mark where frequency or mode changed, and the squelch threshold.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    // Readings in the running average: one second of the poll.
    static constexpr int averageReadings = 10;
    // How often an open chart catches up with the ring.
    static constexpr int redrawMs = 1000;

    HistoryWindow(const SignalHistory& history, QWidget* parent = nullptr);

    // The squelch threshold's level, or none to hide its line.
    void setSquelchDbm(std::optional<double> dbm);
    void resetPeak();
    QChart* chart() const { return chart_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void redraw();

    const SignalHistory& history_;
    QChart* chart_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* dbmAxis_;
    QLineSeries* signal_;
    QLineSeries* average_;
    QLineSeries* peak_;
    QLineSeries* squelch_;
    QScatterSeries* changes_;
    QSpinBox* minutes_;
    QSpinBox* top_;
    QSpinBox* bottom_;
    QTimer redrawTimer_;
    QDateTime peakSince_;
    std::optional<double> squelchDbm_;
};

} // namespace rxdeck::signalwatch
