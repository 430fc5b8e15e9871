// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status/replies.h"

#include <array>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

namespace rxdeck {

class SerialPort;

// The one reader of the port for the settings snapshot and the status poll. What
// arrives is cut into whole replies: a line is whole at its line end, or, from a
// receiver that sends none, once a read ends with it as long as its reply (a line end
// that comes after is no line of its own). A piece waits for the rest; a piece that a new reply
// follows, or that nothing follows for a second, is dropped. Each whole reply goes to its own
// decoder: a settings reply read by the poll reaches the snapshot and a status reply read by the
// snapshot reaches the poll. A line that is neither (a reply without its mnemonics)
// goes to whoever read it.
//
// It also numbers the status replies, so that a reader of the decoded status can tell
// which status query a reply answers. Only whole replies count, and never more than
// the queries sent: a status reply the receiver adds to a settings reply answers none.
class ReplyReader : public QObject
{
    Q_OBJECT
public:
    // How long a piece may wait for the rest of its reply.
    static constexpr int pieceLifeMs = 1000;

    struct Taken
    {
        QString text;         // the latest whole reply of the kind asked for, or empty
        quint64 reply = 0;    // for status: the number of that reply
        bool arrived = false; // whether the port had received anything at all
        // Nothing has arrived for longer than the port's replies may be on their way:
        // the receiver is silent.
        bool silent = false;
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

signals:
    // A piece of a reply never got the rest and was dropped.
    void pieceDropped();

private:
    void sort(const QString& fresh, replies::ReplyKind reader);
    // The line so far has no line end: whole if it is as long as its reply, else dropped
    // when `drop` is set.
    void closeUnended(replies::ReplyKind reader, bool drop);
    void finish(replies::ReplyKind reader);

    SerialPort& port_;
    std::array<QString, 2> latest_; // [0] settings, [1] status
    quint64 latestReply_ = 0;
    QString line_;         // the line being received, from its start
    bool afterCr_ = false; // the last character was a carriage return
    QElapsedTimer lastArrival_;
    quint64 statusQueries_ = 0;
    quint64 statusReplies_ = 0; // whole status replies counted
};

} // namespace rxdeck
