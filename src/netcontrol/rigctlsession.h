// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <vector>

// The text protocol of Hamlib's rigctld, as far as programs using Hamlib's
// "NET rigctl" model need it to read and tune a receiver. No sockets here: a
// request line goes in, the reply bytes and the receiver lines it asks for come out.
namespace rxdeck::netcontrol {

// What the server knows of the receiver: the latest status reply, overlaid by
// the sets made since.
struct RigState
{
    bool ready = false; // a port is open and a status reply has arrived
    qint64 frequencyHz = 0;
    int mode = 0;      // detection digit 1..6, 0 unknown
    int bandwidth = 0; // bandwidth digit 1..5, 0 unknown
    double signalDbm = 0;
};

// Receiver lines by kind; a newer line of a kind replaces an unsent older one.
enum class LineKind
{
    Frequency,
    Detection,
    Bandwidth
};
inline constexpr int lineKindCount = 3;

struct ReceiverLine
{
    LineKind kind;
    QByteArray line;
};

struct Outcome
{
    QByteArray reply;                // written in one piece
    std::vector<ReceiverLine> lines; // for the receiver, in order
    bool close = false;              // end the connection after the reply
};

// Longest request line a connection may send, without its line end.
inline constexpr int maxLineLength = 256;

// Whether a request line (without its line end) may be answered at all: printable
// ASCII and blanks only, and not the start of an HTTP request.
bool acceptableLine(QByteArrayView line);

// One client connection's side of the protocol.
class RigctlSession
{
public:
    explicit RigctlSession(QString version) : version_(std::move(version)) {}

    // Answers one request line (without its line end), changing `state` as sets do.
    Outcome handle(QByteArrayView line, RigState& state);

    // The answer to "\dump_state"; the key=value part follows a "\chk_vfo".
    QByteArray dumpState() const;

private:
    QString version_;
    bool vfoChecked_ = false;
};

} // namespace rxdeck::netcontrol
