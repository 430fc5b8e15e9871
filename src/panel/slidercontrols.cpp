// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/slidercontrols.h"

#include "link/commands.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/slider.h"

#include <QLabel>
#include <QPushButton>

namespace rxdeck {

struct SliderControls::Function
{
    int slider;
    int label;
    QByteArray (*command)(int);
    QString (*readout)(int);
};

namespace {

QString signedHertz(int v)
{
    return (v > 0 ? QStringLiteral("+") : QString()) + QString::number(v) + QStringLiteral("Hz");
}

QString plain(int v)
{
    return QString::number(v);
}

// The squelch shows as minus that many dBm, so 0 reads -0dBm.
QString minusDbm(int v)
{
    return QStringLiteral("-%1dBm").arg(v);
}

// The readouts beside the sliders.
const WrittenTexts written[] = {
    {"Label2", {"-136dBm"}},
    {"Label5", {"-8000Hz", "+8000Hz"}},
    {"Label6", {"-2000Hz", "+2000Hz"}},
    {"Label7", {"10"}},
};

} // namespace

WrittenTextTable SliderControls::writtenTexts()
{
    return written;
}

SliderControls::SliderControls(Controls& ui, SerialPort& port, QObject* parent)
    : QObject(parent), ui_(ui), port_(port)
{
    connect(ui.HScroll[2], &Slider::changed, this, &SliderControls::HScroll2_Change);
    connect(ui.HScroll[3], &Slider::changed, this, &SliderControls::HScroll3_Change);
    connect(ui.HScroll[4], &Slider::changed, this, &SliderControls::HScroll4_Change);
    connect(ui.HScroll[5], &Slider::changed, this, &SliderControls::HScroll5_Change);
    connect(ui.Command[41], &QPushButton::clicked, this, &SliderControls::Command41_Click);
}

void SliderControls::change(const Function& function)
{
    if (!port_.portOpen())
        return;
    const int value = ui_.HScroll[std::size_t(function.slider)]->value();
    port_.output(function.command(value));
    ui_.Label[std::size_t(function.label)]->setText(function.readout(value));
}

void SliderControls::HScroll2_Change()
{
    change({2, 6, &commands::passband, &signedHertz});
}

void SliderControls::HScroll3_Change()
{
    change({3, 5, &commands::bfo, &signedHertz});
}

void SliderControls::HScroll4_Change()
{
    change({4, 7, &commands::blanker, &plain});
}

void SliderControls::HScroll5_Change()
{
    change({5, 2, &commands::squelch, &minusDbm});
}

void SliderControls::Command41_Click()
{
    if (!port_.portOpen())
        return;
    port_.output(commands::bfo(0));
    ui_.Label[5]->setText(QStringLiteral("0Hz"));
    // Moving the slider back runs its own change handling, which sends BFO0 again.
    ui_.HScroll[3]->setValue(0);
}

} // namespace rxdeck
