// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/restingdisplay.h"

#include "shell/controls.h"
#include "shell/led.h"

#include <QLabel>
#include <QLineEdit>

namespace rxdeck {
namespace {

// The S-meter's lamps are LED2 to LED13.
constexpr std::size_t firstMeterLamp = 2;
constexpr std::size_t lastMeterLamp = 13;

const WrittenTexts written[] = {
    {"Label1", {"Serial port?", "No serial"}},
};

} // namespace

void showNoSignal(const Controls& ui)
{
    if (!ui.Text[3]->text().isEmpty())
        ui.Text[3]->clear();
    for (std::size_t n = firstMeterLamp; n <= lastMeterLamp; ++n)
        ui.LED[n]->setLit(false);
}

WrittenTextTable restingDisplayTexts()
{
    return written;
}

void showNoPort(const Controls& ui)
{
    ui.Label[1]->setText(QStringLiteral("Serial port?"));
    showNoSignal(ui);
}

void showNoSerial(const Controls& ui)
{
    ui.Label[1]->setText(QStringLiteral("No serial"));
    showNoSignal(ui);
}

} // namespace rxdeck
