// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalview/historywindow.h"

#include "signalwatch/signalhistory.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QFormLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QValueAxis>

namespace rxdeck::signalwatch {
namespace {

QSpinBox* spinBox(int lowest, int highest, int value, const QString& suffix, const QString& name)
{
    auto* box = new QSpinBox;
    box->setRange(lowest, highest);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setAccessibleName(name);
    return box;
}

} // namespace

HistoryWindow::HistoryWindow(const SignalHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), chart_(new QChart),
      timeAxis_(new QDateTimeAxis), dbmAxis_(new QValueAxis), signal_(new QLineSeries),
      average_(new QLineSeries), peak_(new QLineSeries), squelch_(new QLineSeries),
      changes_(new QScatterSeries),
      minutes_(spinBox(1, 10, 10, tr(" min"), tr("Time span in minutes"))),
      top_(spinBox(-140, 20, -20, tr(" dBm"), tr("Top of the scale in dBm"))),
      bottom_(spinBox(-160, 0, -130, tr(" dBm"), tr("Bottom of the scale in dBm")))
{
    setWindowTitle(tr("Signal history"));
    setAccessibleName(tr("Signal history"));
    signal_->setName(tr("Signal"));
    average_->setName(tr("Average (1 s)"));
    peak_->setName(tr("Peak hold"));
    squelch_->setName(tr("Squelch"));
    changes_->setName(tr("Frequency or mode changed"));
    changes_->setMarkerSize(8);
    for (QAbstractSeries* series :
         std::initializer_list<QAbstractSeries*>{signal_, average_, peak_, squelch_, changes_})
        chart_->addSeries(series);
    timeAxis_->setFormat(QStringLiteral("HH:mm:ss"));
    timeAxis_->setTitleText(tr("Time (UTC)"));
    dbmAxis_->setTitleText(tr("dBm"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(dbmAxis_, Qt::AlignLeft);
    for (QAbstractSeries* series : chart_->series()) {
        series->attachAxis(timeAxis_);
        series->attachAxis(dbmAxis_);
    }
    auto* view = new QChartView(chart_);
    view->setRenderHint(QPainter::Antialiasing);
    view->setAccessibleName(tr("Signal history chart"));
    view->setMinimumSize(640, 360);

    auto* reset = new QPushButton(tr("Reset peak"));
    reset->setAccessibleName(tr("Reset peak"));
    connect(reset, &QPushButton::clicked, this, &HistoryWindow::resetPeak);
    auto* controls = new QHBoxLayout;
    for (auto [label, box] : {std::pair{tr("Span"), minutes_}, std::pair{tr("Top"), top_},
                              std::pair{tr("Bottom"), bottom_}}) {
        auto* caption = new QLabel(label);
        caption->setBuddy(box);
        controls->addWidget(caption);
        controls->addWidget(box);
        connect(box, &QSpinBox::valueChanged, this, &HistoryWindow::redraw);
    }
    controls->addStretch();
    controls->addWidget(reset);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addLayout(controls);

    redrawTimer_.setInterval(redrawMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &HistoryWindow::redraw);
}

void HistoryWindow::setSquelchDbm(std::optional<double> dbm)
{
    squelchDbm_ = dbm;
    if (isVisible())
        redraw();
}

void HistoryWindow::resetPeak()
{
    peakSince_ = QDateTime::currentDateTimeUtc();
    redraw();
}

void HistoryWindow::showEvent(QShowEvent* event)
{
    redraw();
    redrawTimer_.start();
    QWidget::showEvent(event);
}

void HistoryWindow::hideEvent(QHideEvent* event)
{
    // Closed, the chart costs nothing; the ring goes on filling.
    redrawTimer_.stop();
    QWidget::hideEvent(event);
}

void HistoryWindow::redraw()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime start = now.addSecs(-60 * minutes_->value());
    const auto& readings = history_.readings();
    QList<QPointF> signal, average, peak, changes;
    double sum = 0;
    std::deque<double> window;
    std::optional<double> held;
    const Reading* before = nullptr;
    for (const Reading& r : readings) {
        const double dbm = r.status.signalDbm;
        window.push_back(dbm);
        sum += dbm;
        if (window.size() > std::size_t(averageReadings)) {
            sum -= window.front();
            window.pop_front();
        }
        // The peak starts again on a new frequency or mode and at a reset.
        const bool retuned = before && SignalHistory::changesTuning(*before, r);
        if (retuned || r.timeUtc < peakSince_)
            held.reset();
        held = std::max(held.value_or(dbm), dbm);
        before = &r;
        if (r.timeUtc < start)
            continue;
        const double x = double(r.timeUtc.toMSecsSinceEpoch());
        signal.append({x, dbm});
        average.append({x, sum / double(window.size())});
        peak.append({x, *held});
        if (retuned)
            changes.append({x, dbm});
    }
    signal_->replace(signal);
    average_->replace(average);
    peak_->replace(peak);
    changes_->replace(changes);
    QList<QPointF> squelch;
    if (squelchDbm_)
        squelch = {{double(start.toMSecsSinceEpoch()), *squelchDbm_},
                   {double(now.toMSecsSinceEpoch()), *squelchDbm_}};
    squelch_->replace(squelch);
    timeAxis_->setRange(start, now);
    dbmAxis_->setRange(std::min(bottom_->value(), top_->value() - 1), top_->value());
}

} // namespace rxdeck::signalwatch
