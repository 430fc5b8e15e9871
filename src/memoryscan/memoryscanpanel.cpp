// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/memoryscanpanel.h"

#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace rxdeck::memoryscan {
namespace {

QDoubleSpinBox* secondsBox(double maximum, const QString& name)
{
    auto* box = new QDoubleSpinBox;
    box->setRange(0, maximum);
    box->setSingleStep(0.5);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" s"));
    box->setAccessibleName(name);
    return box;
}

} // namespace

MemoryScanPanel::MemoryScanPanel(QWidget* parent)
    : QWidget(parent), startStop_(new QPushButton(tr("Scan memories"))),
      skip_(new QPushButton(tr("Skip"))), lockOut_(new QPushButton(tr("Lock out"))),
      next_(new QPushButton(tr("Next"))), bySquelch_(new QRadioButton(tr("Squelch level"))),
      byLevel_(new QRadioButton(tr("Level"))), level_(new QSpinBox),
      hang_(secondsBox(60, tr("Hang time"))), dwell_(secondsBox(30, tr("Dwell time"))),
      stops_(new QListWidget), addMemory_(new QPushButton(tr("Add as memory")))
{
    setObjectName(QStringLiteral("memoryScanPanel"));
    startStop_->setObjectName(QStringLiteral("memoryScanStartStop"));
    startStop_->setAccessibleName(tr("Scan memories"));
    skip_->setAccessibleName(tr("Skip this memory until the scan starts again"));
    skip_->setToolTip(skip_->accessibleName());
    lockOut_->setAccessibleName(tr("Lock this memory out for good with a mark in the Skip column"));
    lockOut_->setToolTip(lockOut_->accessibleName());
    next_->setAccessibleName(tr("Go on to the next memory"));
    next_->setToolTip(next_->accessibleName());
    bySquelch_->setAccessibleName(tr("Stop at the squelch level"));
    byLevel_->setAccessibleName(tr("Stop at a level of my own"));
    dwell_->setToolTip(tr("How long after tuning a memory its signal starts to count: the "
                          "receiver's settling time"));
    hang_->setToolTip(tr("How long the signal must stay below the level before the scan "
                         "goes on"));
    level_->setRange(-140, 0);
    level_->setSuffix(QStringLiteral(" dBm"));
    level_->setAccessibleName(tr("Stop level"));
    stops_->setObjectName(QStringLiteral("memoryScanStops"));
    stops_->setAccessibleName(tr("Recent stops"));
    addMemory_->setAccessibleName(tr("Add the chosen stop as a new memory"));
    addMemory_->setToolTip(addMemory_->accessibleName());
    addMemory_->setEnabled(false);

    auto* group = new QButtonGroup(this);
    group->addButton(bySquelch_);
    group->addButton(byLevel_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip_);
    buttons->addWidget(lockOut_);
    buttons->addWidget(next_);
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(byLevel_);
    levelRow->addWidget(level_);
    auto* form = new QFormLayout;
    form->addRow(tr("Stop at"), bySquelch_);
    form->addRow(QString(), levelRow);
    form->addRow(tr("Hang time"), hang_);
    form->addRow(tr("Dwell"), dwell_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(startStop_);
    layout->addLayout(buttons);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Recent stops")));
    layout->addWidget(stops_, 1);
    layout->addWidget(addMemory_);

    connect(startStop_, &QPushButton::clicked, this, &MemoryScanPanel::startStopClicked);
    connect(skip_, &QPushButton::clicked, this, &MemoryScanPanel::skipClicked);
    connect(lockOut_, &QPushButton::clicked, this, &MemoryScanPanel::lockOutClicked);
    connect(next_, &QPushButton::clicked, this, &MemoryScanPanel::nextClicked);
    const auto changed = [this] {
        level_->setEnabled(byLevel_->isChecked());
        emit settingsChanged(settings());
    };
    connect(bySquelch_, &QRadioButton::toggled, this, changed);
    connect(level_, &QSpinBox::valueChanged, this, changed);
    connect(hang_, &QDoubleSpinBox::valueChanged, this, changed);
    connect(dwell_, &QDoubleSpinBox::valueChanged, this, changed);
    connect(stops_, &QListWidget::currentRowChanged, this,
            [this](int row) { addMemory_->setEnabled(row >= 0); });
    connect(addMemory_, &QPushButton::clicked, this, &MemoryScanPanel::addSelectedAsMemory);
    connect(stops_, &QListWidget::itemActivated, this, &MemoryScanPanel::addSelectedAsMemory);
    showState(MemoryScanner::State::Idle);
}

std::vector<QWidget*> MemoryScanPanel::tabOrder() const
{
    return {startStop_, skip_, lockOut_, next_,  bySquelch_, byLevel_,
            level_,     hang_, dwell_,   stops_, addMemory_};
}

void MemoryScanPanel::setSettings(const Settings& s)
{
    const QSignalBlocker blockers[] = {QSignalBlocker(bySquelch_), QSignalBlocker(level_),
                                       QSignalBlocker(hang_), QSignalBlocker(dwell_)};
    bySquelch_->setChecked(s.squelchThreshold);
    byLevel_->setChecked(!s.squelchThreshold);
    level_->setValue(int(s.levelDbm));
    level_->setEnabled(!s.squelchThreshold);
    hang_->setValue(s.hangMs / 1000.0);
    dwell_->setValue(s.dwellMs / 1000.0);
}

Settings MemoryScanPanel::settings() const
{
    Settings s;
    s.squelchThreshold = bySquelch_->isChecked();
    s.levelDbm = level_->value();
    s.hangMs = int(hang_->value() * 1000);
    s.dwellMs = int(dwell_->value() * 1000);
    return s;
}

void MemoryScanPanel::showState(MemoryScanner::State state)
{
    const bool active = state != MemoryScanner::State::Idle;
    startStop_->setText(active ? tr("Stop memory scan") : tr("Scan memories"));
    startStop_->setAccessibleName(startStop_->text());
    skip_->setEnabled(active);
    lockOut_->setEnabled(active);
    next_->setEnabled(active);
}

void MemoryScanPanel::addStop(const Stop& stop)
{
    kept_.insert(kept_.begin(), stop);
    const QString text =
        tr("%1  %2 MHz  %3  %4 dBm, %5 s")
            .arg(stop.startUtc.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                 stop.frequencyMhz, stop.note, QString::number(stop.peakDbm, 'f', 1),
                 QString::number(stop.seconds, 'f', 0));
    stops_->insertItem(0, text);
    while (int(kept_.size()) > recentStops) {
        kept_.pop_back();
        delete stops_->takeItem(stops_->count() - 1);
    }
}

void MemoryScanPanel::addSelectedAsMemory()
{
    const int row = stops_->currentRow();
    if (row >= 0 && row < int(kept_.size()))
        emit addAsMemory(kept_[std::size_t(row)]);
}

} // namespace rxdeck::memoryscan
