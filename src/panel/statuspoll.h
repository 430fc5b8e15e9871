// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status/receiverstatus.h"

#include "shell/writtentexts.h"

#include <QObject>

namespace rxdeck {

class ReplyReader;
class SerialPort;
struct Controls;

// Every 100 ms: asks for frequency, mode, signal and bandwidth, and shows the answer
// to the previous tick's question. Runs on each tick of `Timer1`.
class StatusPoll : public QObject
{
    Q_OBJECT
public:
    StatusPoll(Controls& ui, SerialPort& port, ReplyReader& reader, QObject* parent = nullptr);

    // The texts this handler writes into the panel, for the text fitting.
    static WrittenTextTable writtenTexts();

    void Timer1_Timer();

    // While set, a tick shows what arrived before it writes its query, so that a command
    // written in answer to that reply (the memory scan's next frequency) goes out ahead
    // of the query and the next reply already tells of it. The panel shows the same.
    void setAnswerBeforeQuery(bool on) { answerFirst_ = on; }

signals:
    // Each decoded status reply, for readers other than the panel.
    void statusDecoded(const rxdeck::ReceiverStatus& status);
    // The status query numbered `query` (from 0) went out.
    void querySent(quint64 query);
    // A whole reply was not in the receiver's form and changed nothing.
    void replyRejected();

private:
    Controls& ui_;
    SerialPort& port_;
    ReplyReader& reader_;
    bool answerFirst_ = false;
};

} // namespace rxdeck
