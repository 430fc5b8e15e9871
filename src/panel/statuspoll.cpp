// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/statuspoll.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/serialport.h"
#include "shell/controls.h"
#include "shell/led.h"
#include "shell/restingdisplay.h"
#include "status/replies.h"
#include "status/replyreader.h"

#include <cmath>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>

namespace rxdeck {
namespace {

// Lights exactly the lamp at `index` of a group; no index leaves the group as it is.
template <std::size_t N>
void lightOneOf(const Controls& ui, const std::array<int, N>& group, std::optional<int> index)
{
    if (!index)
        return;
    for (std::size_t i = 0; i < N; ++i)
        ui.LED[std::size_t(group[i])]->setLit(int(i) == *index);
}

// A line edit repaints on every setText, even of the text it already shows; the
// poll rewrites its boxes ten times a second, mostly with the same text.
void setText(QLineEdit* box, const QString& text)
{
    if (box->text() != text)
        box->setText(text);
}

ReceiverStatus numbersOf(const replies::Status& status)
{
    ReceiverStatus numbers;
    // A garbled field can hold any number; only a plausible one is converted.
    const double mhz = decimalValue(status.frequency);
    numbers.frequencyHz = std::abs(mhz) < 1e6 ? std::llround(mhz * 1e6) : 0;
    numbers.mode = replies::modeIndex(status.mode).value_or(-1) + 1;
    numbers.bandwidth = replies::bandwidthIndex(status.bandwidth).value_or(-1) + 1;
    numbers.signalDbm = decimalValue(status.signal);
    return numbers;
}

constexpr std::array<int, 6> modeLamps = {1, 14, 15, 16, 17, 18};
constexpr std::array<int, 5> bandwidthLamps = {22, 23, 24, 25, 26};

// The frequency grouped as MHz.kHz.Hz, and the signal level.
const WrittenTexts written[] = {
    {"Label1", {" 88.888.888"}},
    {"Text3", {"-188 dBm"}},
};

} // namespace

WrittenTextTable StatusPoll::writtenTexts()
{
    return written;
}

StatusPoll::StatusPoll(Controls& ui, SerialPort& port, ReplyReader& reader, QObject* parent)
    : QObject(parent), ui_(ui), port_(port), reader_(reader)
{
    connect(ui.Timer[1], &QTimer::timeout, this, &StatusPoll::Timer1_Timer);
}

void StatusPoll::Timer1_Timer()
{
    if (!port_.portOpen())
        return;
    const auto sendQuery = [this] {
        port_.output(commands::statusQuery());
        if (!port_.portOpen())
            return false;
        emit querySent(reader_.statusQueries());
        return true;
    };
    // Fixed for the tick: whatever the reply makes of the setting, the query goes out.
    const bool answerFirst = answerFirst_;
    if (!answerFirst && !sendQuery())
        return; // the write failed and closed the port; keep the displays
    const auto queryLast = qScopeGuard([&] {
        if (answerFirst && port_.portOpen() && sendQuery())
            reader_.statusQuerySent();
    });
    // A settings reply read here goes to the snapshot; the panel stays as it was.
    const ReplyReader::Taken taken = reader_.take(replies::ReplyKind::Status);
    // Counted after the read: its answer cannot be in this one.
    if (!answerFirst)
        reader_.statusQuerySent();
    if (taken.text.isEmpty()) {
        if (taken.silent)
            showNoSerial(ui_);
        return;
    }
    // A reply in no form of the receiver's (a byte lost or added on the way) is no
    // frequency: tuning steps start from the working frequency, and clients read it.
    const std::optional<replies::Status> checked = replies::checkedStatus(taken.text);
    if (!checked) {
        emit replyRejected();
        return;
    }

    const replies::Status& status = *checked;
    setText(ui_.Text[5], status.frequency);
    lightOneOf(ui_, modeLamps, replies::modeIndex(status.mode));
    lightOneOf(ui_, bandwidthLamps, replies::bandwidthIndex(status.bandwidth));
    ui_.Label[1]->setText(replies::groupedFrequency(status.frequency));
    setText(ui_.Text[3], status.signal + QStringLiteral(" dBm"));
    const auto lit = replies::sMeter(decimalValue(status.signal));
    for (std::size_t i = 0; i < lit.size(); ++i)
        ui_.LED[2 + i]->setLit(lit[i]);
    ReceiverStatus numbers = numbersOf(status);
    numbers.reply = taken.reply;
    emit statusDecoded(numbers);
}

} // namespace rxdeck
