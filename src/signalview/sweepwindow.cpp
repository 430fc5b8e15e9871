// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalview/sweepwindow.h"

#include <algorithm>
#include <cmath>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QValueAxis>

namespace rxdeck::signalwatch {
namespace {

// A click on the plot names a frequency.
class PlotView : public QChartView
{
public:
    PlotView(QChart* chart, std::function<void(double mhz)> clicked)
        : QChartView(chart), clicked_(std::move(clicked))
    {
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && chart()->plotArea().contains(event->position()))
            clicked_(chart()->mapToValue(event->position()).x());
        QChartView::mousePressEvent(event);
    }

private:
    std::function<void(double)> clicked_;
};

QDoubleSpinBox* frequencyBox(double lowest, double highest, int decimals, const QString& suffix,
                             const QString& name)
{
    auto* box = new QDoubleSpinBox;
    box->setRange(lowest, highest);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setAccessibleName(name);
    return box;
}

QPushButton* button(const QString& text)
{
    auto* b = new QPushButton(text);
    b->setAccessibleName(QString(text).remove(u'&').remove(QStringLiteral("…")));
    return b;
}

} // namespace

SweepWindow::SweepWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), from_(frequencyBox(0, 30, 6, tr(" MHz"), tr("Sweep from, MHz"))),
      to_(frequencyBox(0, 30, 6, tr(" MHz"), tr("Sweep to, MHz"))),
      step_(frequencyBox(0.01, 30000, 2, tr(" kHz"), tr("Sweep step, kHz"))), sweeps_(new QSpinBox),
      startStop_(button(tr("&Start"))), peakToMemory_(button(tr("Peak to &memory"))),
      state_(new QLabel), chart_(new QChart), frequencyAxis_(new QValueAxis),
      dbmAxis_(new QValueAxis), current_(new QLineSeries), peak_(new QLineSeries)
{
    setWindowTitle(tr("Band sweep"));
    setAccessibleName(tr("Band sweep"));
    setObjectName(QStringLiteral("bandSweep"));
    sweeps_->setRange(0, 10000);
    sweeps_->setValue(1);
    sweeps_->setSpecialValueText(tr("until stopped"));
    sweeps_->setAccessibleName(tr("Number of sweeps"));
    startStop_->setObjectName(QStringLiteral("sweepStartStop"));
    state_->setAccessibleName(tr("Sweep state"));
    setRange(14.0, 14.35, 5);

    current_->setName(tr("This sweep"));
    peak_->setName(tr("Peak hold"));
    chart_->addSeries(current_);
    chart_->addSeries(peak_);
    frequencyAxis_->setTitleText(tr("MHz"));
    frequencyAxis_->setLabelFormat(QStringLiteral("%.3f"));
    dbmAxis_->setTitleText(tr("dBm"));
    dbmAxis_->setRange(-130, -20);
    chart_->addAxis(frequencyAxis_, Qt::AlignBottom);
    chart_->addAxis(dbmAxis_, Qt::AlignLeft);
    for (QAbstractSeries* series : chart_->series()) {
        series->attachAxis(frequencyAxis_);
        series->attachAxis(dbmAxis_);
    }
    auto* view = new PlotView(chart_, [this](double mhz) {
        if (plan_.stepHz > 0 && !peaks_.empty())
            emit tuneRequested(plan_.frequencyAt(plan_.binNear(std::llround(mhz * 1e6))));
    });
    view->setRenderHint(QPainter::Antialiasing);
    view->setAccessibleName(tr("Band sweep plot; a click tunes there"));
    view->setMinimumSize(640, 360);
    plot_ = view;

    auto* range = new QFormLayout;
    range->addRow(tr("&From"), from_);
    range->addRow(tr("&To"), to_);
    range->addRow(tr("St&ep"), step_);
    range->addRow(tr("S&weeps"), sweeps_);
    auto* png = button(tr("Export &PNG…"));
    auto* csvButton = button(tr("Export &CSV…"));
    auto* reset = button(tr("&Reset peaks"));
    peakToMemory_->setEnabled(false);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {startStop_, reset, peakToMemory_, png, csvButton})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* side = new QVBoxLayout;
    side->addLayout(range);
    side->addLayout(buttons);
    side->addWidget(state_);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addLayout(side);

    connect(startStop_, &QPushButton::clicked, this, &SweepWindow::toggle);
    connect(reset, &QPushButton::clicked, this, [this] {
        peaks_.clear();
        peak_->clear();
        peakToMemory_->setEnabled(false);
    });
    connect(peakToMemory_, &QPushButton::clicked, this, [this] {
        if (const auto hz = peakHz())
            emit peakToMemoryRequested(*hz);
    });
    connect(png, &QPushButton::clicked, this, &SweepWindow::exportPng);
    connect(csvButton, &QPushButton::clicked, this, &SweepWindow::exportCsv);
}

void SweepWindow::setRange(double fromMhz, double toMhz, double stepKhz)
{
    from_->setValue(std::min(fromMhz, toMhz));
    to_->setValue(std::max(fromMhz, toMhz));
    step_->setValue(stepKhz);
}

void SweepWindow::closeEvent(QCloseEvent* event)
{
    if (running_)
        emit stopRequested();
    QWidget::closeEvent(event);
}

void SweepWindow::toggle()
{
    if (running_) {
        emit stopRequested();
        return;
    }
    QString reason;
    const auto plan =
        SweepPlan::make(std::llround(from_->value() * 1e6), std::llround(to_->value() * 1e6),
                        std::llround(step_->value() * 1e3), &reason);
    if (!plan) {
        state_->setText(reason);
        return;
    }
    // Peaks are held over sweeps of the same band only.
    if (plan->fromHz != plan_.fromHz || plan->toHz != plan_.toHz || plan->stepHz != plan_.stepHz) {
        peaks_.clear();
        peak_->clear();
        peakToMemory_->setEnabled(false);
    }
    plan_ = *plan;
    rows_.clear();
    current_->clear();
    frequencyAxis_->setRange(double(plan_.fromHz) / 1e6,
                             std::max(double(plan_.toHz), double(plan_.fromHz) + 1) / 1e6);
    emit startRequested(*plan, sweeps_->value());
}

void SweepWindow::sweepStarted()
{
    running_ = true;
    startStop_->setText(tr("&Stop"));
    startStop_->setAccessibleName(tr("Stop"));
    state_->setText(tr("Sweeping"));
}

void SweepWindow::stepRead(int bin, qint64 hz, double dbm)
{
    if (bin == 0)
        current_->clear();
    const double mhz = double(hz) / 1e6;
    current_->append(mhz, dbm);
    if (std::size_t(bin) >= peaks_.size())
        peaks_.resize(std::size_t(bin) + 1, dbm);
    peaks_[std::size_t(bin)] = std::max(peaks_[std::size_t(bin)], dbm);
    if (peak_->count() > bin)
        peak_->replace(bin, mhz, peaks_[std::size_t(bin)]);
    else
        peak_->append(mhz, peaks_[std::size_t(bin)]);
    peakToMemory_->setEnabled(true);
}

void SweepWindow::rowFinished(const SweepRow& row)
{
    rows_.push_back(row);
}

void SweepWindow::sweepFinished(const QString& error)
{
    running_ = false;
    startStop_->setText(tr("&Start"));
    startStop_->setAccessibleName(tr("Start"));
    state_->setText(error.isEmpty() ? tr("Done; the receiver is back where it was") : error);
}

QByteArray SweepWindow::csv() const
{
    QByteArray text;
    for (const SweepRow& row : rows_)
        text += row.rtlPowerLine();
    return text;
}

bool SweepWindow::savePng(const QString& path) const
{
    return plot_->grab().save(path, "PNG");
}

bool SweepWindow::saveCsv(const QString& path) const
{
    QFile file(path);
    const QByteArray text = csv();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text) == text.size() && file.flush();
}

std::optional<qint64> SweepWindow::peakHz() const
{
    if (peaks_.empty())
        return std::nullopt;
    const auto top = std::max_element(peaks_.begin(), peaks_.end());
    return plan_.frequencyAt(int(top - peaks_.begin()));
}

void SweepWindow::exportPng()
{
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Export plot"), QString(), tr("PNG images (*.png)"));
    if (!path.isEmpty() && !savePng(path))
        QMessageBox::warning(this, windowTitle(), tr("Could not write %1.").arg(path));
}

void SweepWindow::exportCsv()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export sweep data"), QString(),
                                                      tr("rtl_power CSV (*.csv)"));
    if (!path.isEmpty() && !saveCsv(path))
        QMessageBox::warning(this, windowTitle(), tr("Could not write %1.").arg(path));
}

} // namespace rxdeck::signalwatch
