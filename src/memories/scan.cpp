// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/scan.h"

#include "link/commands.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/slider.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace rxdeck {

namespace {

// The dwell time and step readouts.
const WrittenTexts written[] = {
    {"Label10", {"20.5secs", "0.25secs"}},
    {"Label11", {"25kHz"}},
};

} // namespace

WrittenTextTable Scan::writtenTexts()
{
    return written;
}

Scan::Scan(Controls& ui, SerialPort& port, QObject* parent) : QObject(parent), ui_(ui), port_(port)
{
    connect(ui.Command[37], &QPushButton::clicked, this, &Scan::Command37_Click);
    connect(ui.Command[40], &QPushButton::clicked, this, &Scan::Command40_Click);
    connect(ui.HScroll[6], &Slider::changed, this, &Scan::HScroll6_Change);
    connect(ui.HScroll[7], &Slider::changed, this, &Scan::HScroll7_Change);
}

void Scan::Command37_Click()
{
    if (!port_.portOpen())
        return;
    // The limits go out as typed; the receiver judges them.
    port_.output(commands::scanStart(ui_.Text[4]->text(), ui_.Text[1]->text()));
    ui_.Command[37]->setEnabled(false);
    ui_.Command[40]->setEnabled(true);
}

void Scan::Command40_Click()
{
    if (!port_.portOpen())
        return;
    port_.output(commands::scanStop());
    ui_.Command[40]->setEnabled(false);
    ui_.Command[37]->setEnabled(true);
}

void Scan::HScroll6_Change()
{
    if (!port_.portOpen())
        return;
    const int halfSeconds = ui_.HScroll[6]->value();
    port_.output(commands::dwell(halfSeconds));
    ui_.Label[10]->setText(commands::dwellSecondsText(halfSeconds) + QStringLiteral("secs"));
}

void Scan::HScroll7_Change()
{
    if (!port_.portOpen())
        return;
    const int kHz = ui_.HScroll[7]->value();
    port_.output(commands::step(kHz));
    ui_.Label[11]->setText(QString::number(kHz) + QStringLiteral("kHz"));
}

} // namespace rxdeck
