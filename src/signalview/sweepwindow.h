// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signalwatch/sweepplan.h"

#include <QWidget>
#include <vector>

class QChart;
class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QValueAxis;

namespace rxdeck::signalwatch {

// The band sweep's window: the range and step, the plot of signal against frequency
// as the sweep goes with the peaks held over repeated sweeps, and exports. It asks
// for sweeps and tuning; whoever runs them tells it what they read.
class SweepWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SweepWindow(QWidget* parent = nullptr);

    // The range and step shown, e.g. the panel's scan limits and step.
    void setRange(double fromMhz, double toMhz, double stepKhz);
    // The rows of every finished sweep since the last start, in rtl_power's layout.
    QByteArray csv() const;
    bool savePng(const QString& path) const;
    bool saveCsv(const QString& path) const;
    // The frequency of the highest held peak, if any sweep has read one.
    std::optional<qint64> peakHz() const;
    QChart* chart() const { return chart_; }

    // What the sweep does, as it happens.
    void sweepStarted();
    void stepRead(int bin, qint64 hz, double dbm);
    void rowFinished(const rxdeck::signalwatch::SweepRow& row);
    void sweepFinished(const QString& error);

signals:
    void startRequested(const rxdeck::signalwatch::SweepPlan& plan, int sweeps);
    void stopRequested();
    void tuneRequested(qint64 hz);
    void peakToMemoryRequested(qint64 hz);

protected:
    // Closing the window ends its sweep: nobody would see it or stop it.
    void closeEvent(QCloseEvent* event) override;

private:
    void toggle();
    void exportPng();
    void exportCsv();

    QDoubleSpinBox* from_;
    QDoubleSpinBox* to_;
    QDoubleSpinBox* step_;
    QSpinBox* sweeps_;
    QPushButton* startStop_;
    QPushButton* peakToMemory_;
    QLabel* state_;
    QChart* chart_;
    QValueAxis* frequencyAxis_;
    QValueAxis* dbmAxis_;
    QLineSeries* current_;
    QLineSeries* peak_;
    QWidget* plot_;
    SweepPlan plan_;
    std::vector<double> peaks_;
    std::vector<SweepRow> rows_;
    bool running_ = false;
};

} // namespace rxdeck::signalwatch
