// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/settingssnapshot.h"

#include "link/commands.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/led.h"
#include "shell/restingdisplay.h"
#include "shell/slider.h"
#include "status/replies.h"
#include "status/replyreader.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace rxdeck {
namespace {

// Sets a slider from a decoded field, which runs its change handling when the value
// differs, then writes the snapshot's own readout. A field that is not a number, or
// lies outside the slider's range, is skipped with its readout.
template <typename LabelText>
void applyField(Slider* slider, QLabel* label, std::optional<int> value, LabelText text)
{
    if (!value || !slider->inRange(*value))
        return;
    slider->setValue(*value);
    label->setText(text(slider->value()));
}

// The readouts beside the sliders and settings, and the scan limits the receiver reports.
const WrittenTexts written[] = {
    {"Label2", {"-136dBm"}},
    {"Label5", {"-8000Hz"}},
    {"Label6", {"-2000Hz"}},
    {"Label7", {"10"}},
    {"Label8", {"Manual", "Slow", "Fast"}},
    {"Label10", {"20.5secs", "0.25secs"}},
    {"Label11", {"25kHz"}},
    {"Text1", {"88.888888"}},
    {"Text4", {"88.888888"}},
};

} // namespace

WrittenTextTable SettingsSnapshot::writtenTexts()
{
    return written;
}

SettingsSnapshot::SettingsSnapshot(Controls& ui, SerialPort& port, ReplyReader& reader,
                                   QObject* parent)
    : QObject(parent), ui_(ui), port_(port), reader_(reader)
{
    connect(ui.Timer[12], &QTimer::timeout, this, &SettingsSnapshot::Timer12_Timer);
}

void SettingsSnapshot::Timer12_Timer()
{
    // Only a settings reply is decoded here: settings taken from a status reply would
    // be echoed to the receiver as if it had them. Anything else is waited out like
    // silence, though only silence says "No serial".
    const ReplyReader::Taken taken = reader_.take(replies::ReplyKind::Settings);
    const QString& reply = taken.text;
    if (reply.isEmpty()) {
        if (taken.silent)
            showNoSerial(ui_);
        port_.output(commands::settingsQuery());
        return;
    }

    const replies::Settings s = replies::decodeSettings(reply);
    if (const auto lamp = replies::rfPathIndex(s.rfPath)) {
        ui_.LED[std::size_t(19 + *lamp)]->setLit(true);
        emit rfPathShown(*lamp + 1);
    }
    if (const auto agc = replies::agcText(s.agc)) {
        ui_.Label[8]->setText(*agc);
        emit agcShown(s.agc.digitValue());
    }
    ui_.Text[1]->setText(s.lowLimit);
    ui_.Text[4]->setText(s.highLimit);

    const auto plain = [](int v) { return QString::number(v); };
    applyField(ui_.HScroll[5], ui_.Label[2], s.squelch,
               [](int v) { return QStringLiteral("-%1dBm").arg(v); });
    applyField(ui_.HScroll[4], ui_.Label[7], s.blanker, plain);
    if (s.dwellHalfSeconds && ui_.HScroll[6]->inRange(*s.dwellHalfSeconds)) {
        ui_.HScroll[6]->setValue(*s.dwellHalfSeconds);
        ui_.Label[10]->setText(s.dwellSeconds + QStringLiteral("secs"));
    }
    applyField(ui_.HScroll[7], ui_.Label[11], s.step,
               [](int v) { return QString::number(v) + QStringLiteral("kHz"); });
    const auto hertz = [](int v) { return QString::number(v) + QStringLiteral("Hz"); };
    applyField(ui_.HScroll[2], ui_.Label[6], s.passband, hertz);
    applyField(ui_.HScroll[3], ui_.Label[5], s.bfo, hertz);

    ui_.Timer[12]->stop();
    ui_.Timer[1]->start();
    emit decoded();
}

} // namespace rxdeck
