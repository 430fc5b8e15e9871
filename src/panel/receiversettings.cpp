// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/receiversettings.h"

#include "link/commands.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/led.h"
#include "shell/slider.h"
#include "status/replies.h"

#include <QLabel>
#include <QPushButton>

namespace rxdeck {
namespace {

// Button numbers in the order of the digit each sends (1, 2, 3 …).
constexpr int modeButtons[] = {2, 3, 4, 5, 6, 7};
constexpr int bandwidthButtons[] = {12, 8, 9, 10, 11};
constexpr int rfPathButtons[] = {24, 25, 26};
constexpr int rfPathLamps[] = {19, 20, 21};
constexpr int agcButtons[] = {19, 20}; // AGC1, AGC2

// The gain control's readout.
const WrittenTexts written[] = {
    {"Label8", {"Manual", "Slow", "Fast"}},
};

} // namespace

WrittenTextTable ReceiverSettings::writtenTexts()
{
    return written;
}

ReceiverSettings::ReceiverSettings(Controls& ui, SerialPort& port, QObject* parent)
    : QObject(parent), ui_(ui), port_(port)
{
    const auto wire = [&](const auto& buttons, void (ReceiverSettings::*handler)(int)) {
        int digit = 1;
        for (int button : buttons) {
            connect(ui.Command[std::size_t(button)], &QPushButton::clicked, this,
                    [this, handler, digit] { (this->*handler)(digit); });
            ++digit;
        }
    };
    wire(modeButtons, &ReceiverSettings::ModeClick);
    wire(bandwidthButtons, &ReceiverSettings::BandwidthClick);
    wire(rfPathButtons, &ReceiverSettings::RfPathClick);
    wire(agcButtons, &ReceiverSettings::AgcClick);
    connect(ui.HScroll[1], &Slider::changed, this, &ReceiverSettings::HScroll1_Change);
}

void ReceiverSettings::ModeClick(int mode)
{
    if (port_.portOpen())
        port_.output(commands::detection(mode));
}

void ReceiverSettings::BandwidthClick(int width)
{
    if (port_.portOpen())
        port_.output(commands::bandwidth(width));
}

void ReceiverSettings::AgcClick(int mode)
{
    if (!port_.portOpen())
        return;
    port_.output(commands::agc(mode));
    ui_.Label[8]->setText(*replies::agcText(QChar(u'0' + mode)));
    emit agcShown(mode);
}

void ReceiverSettings::HScroll1_Change()
{
    if (!port_.portOpen())
        return;
    port_.output(commands::manualGain(ui_.HScroll[1]->value()));
    ui_.Label[8]->setText(*replies::agcText(u'0'));
    emit agcShown(0);
}

void ReceiverSettings::RfPathClick(int path)
{
    if (!port_.portOpen())
        return;
    // The lamps change before the line goes out.
    for (int i = 0; i < 3; ++i)
        ui_.LED[std::size_t(rfPathLamps[i])]->setLit(i + 1 == path);
    port_.output(commands::rfPath(path));
    emit rfPathShown(path);
}

} // namespace rxdeck
