// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status/replies.h"

#include <array>
#include <QObject>
#include <QString>

namespace rxdeck {

class SerialPort;

// The one reader of the port for the settings snapshot and the status poll. Each
// read is sorted line by line: a line that is plainly the other reply waits for the
// other decoder, so a settings reply read by the poll reaches the snapshot and a
// status reply read by the snapshot reaches the poll. A line that is neither (a
// fragment, a reply without its mnemonics) goes to whoever read it, as it always did.
//
// It also numbers the status replies by their line ends, so that a reader of the
// decoded status can tell which status query a reply answers.
class ReplyReader : public QObject
{
    Q_OBJECT
public:
    struct Taken
    {
        QString text;         // the replies of the kind asked for, in arrival order
        quint64 reply = 0;    // for status: the number of the first reply in text
        bool arrived = false; // whether the port had received anything at all
    };

    explicit ReplyReader(SerialPort& port, QObject* parent = nullptr);

    // Reads the port and returns what is there for `kind` (Settings or Status).
    Taken take(replies::ReplyKind kind);

    // A status query went out; replies are numbered like the queries they answer.
    void statusQuerySent() { ++statusQueries_; }
    quint64 statusQueries() const { return statusQueries_; }

    // The port was (re)opened and its stale input dropped: nothing read before
    // belongs to what follows, and the next status reply answers the next query.
    void restart();

private:
    void sort(const QString& fresh, replies::ReplyKind reader);
    void hold(replies::ReplyKind kind, const QString& piece);

    SerialPort& port_;
    std::array<QString, 2> waiting_; // [0] settings, [1] status
    quint64 firstWaitingReply_ = 0;
    QString line_;         // the line being received, from its start
    bool afterCr_ = false; // the last character was a carriage return
    quint64 statusQueries_ = 0;
    quint64 statusReplies_ = 0; // status line ends seen
};

} // namespace rxdeck
