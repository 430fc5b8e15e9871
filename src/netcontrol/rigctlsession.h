// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <vector>

// The text protocol of Hamlib's rigctld, as far as programs using Hamlib's
// "NET rigctl" model need it to read and tune a receiver. No sockets here: a
// request line goes in, the reply bytes and the receiver lines it asks for come out.
namespace rxdeck::netcontrol {

// The panel's settings that the status reply does not carry: what the panel's controls
// last sent or the settings snapshot last showed.
enum class Setting
{
    RfPath,   // 1 normal, 2 attenuated, 3 preamplified
    Agc,      // 0 manual, 1 slow, 2 fast
    Gain,     // the manual gain, 0..127
    Passband, // Hz
    Bfo,      // Hz
    Blanker,  // 0..10
    Squelch   // 0..136, the threshold below 0 dBm
};
inline constexpr int settingCount = 7;

// What the server knows of the receiver: the latest status reply, overlaid by
// the sets made since.
struct RigState
{
    bool ready = false; // a port is open and a status reply has arrived
    qint64 frequencyHz = 0;
    int mode = 0;      // detection digit 1..6, 0 unknown
    int bandwidth = 0; // bandwidth digit 1..5, 0 unknown
    double signalDbm = 0;
    std::array<std::optional<int>, settingCount> settings; // none: not known

    std::optional<int> setting(Setting s) const { return settings[std::size_t(s)]; }
    void set(Setting s, int value) { settings[std::size_t(s)] = value; }
};

// Receiver lines by kind; a newer line of a kind replaces an unsent older one.
enum class LineKind
{
    Frequency,
    Mode, // the detection mode, with the bandwidth when one was asked for
    RfPath,
    Gain, // the AGC mode, or manual gain with its value
    Passband,
    Bfo,
    Blanker,
    Squelch
};
inline constexpr int lineKindCount = 8;

// The kind of line that carries a setting.
constexpr LineKind lineKindOf(Setting s)
{
    switch (s) {
    case Setting::RfPath:
        return LineKind::RfPath;
    case Setting::Agc:
    case Setting::Gain:
        return LineKind::Gain;
    case Setting::Passband:
        return LineKind::Passband;
    case Setting::Bfo:
        return LineKind::Bfo;
    case Setting::Blanker:
        return LineKind::Blanker;
    case Setting::Squelch:
        break;
    }
    return LineKind::Squelch;
}

struct ReceiverLine
{
    LineKind kind;
    QByteArray line;
};

// Hamlib's scan command asks the program, not the receiver: "g MEM 0" starts the
// memory scan, "g STOP 0" stops it.
enum class ScanRequest
{
    Memories,
    Stop
};

struct Outcome
{
    QByteArray reply;                // written in one piece
    std::vector<ReceiverLine> lines; // for the receiver, in order
    bool close = false;              // end the connection after the reply
    std::vector<ScanRequest> scans;  // in order, after the lines
};

// Longest request line a connection may send, without its line end.
inline constexpr int maxLineLength = 256;

// Whether a request line (without its line end) may be answered at all: printable
// ASCII and blanks only, and not the start of an HTTP request.
bool acceptableLine(QByteArrayView line);

// The line with Hamlib's one-byte command forms (0x87 get_dcd … 0xf9) written as
// their long forms ("\get_dcd "), where they stand as commands. Other bytes stay.
QByteArray withLongForms(QByteArrayView line);

// One client connection's side of the protocol.
class RigctlSession
{
public:
    explicit RigctlSession(QString version) : version_(std::move(version)) {}

    // Answers one request line (without its line end), changing `state` as sets do.
    Outcome handle(QByteArrayView line, RigState& state);

    // The answer to "\dump_state"; the key=value part follows a "\chk_vfo".
    QByteArray dumpState() const;
    // The answer to "\dump_caps" ("1"): what this receiver can do, in rigctl's form.
    QByteArray dumpCaps() const;

private:
    // A command still short of arguments, which rigctld reads from the lines that follow.
    struct Waiting
    {
        std::size_t command; // its place in the command table
        char separator;
        QByteArrayList args;
    };

    // Runs a command that has its arguments; false when the connection is to end.
    bool run(std::size_t command, const QByteArrayList& args, char separator, RigState& state,
             Outcome& outcome);

    QString version_;
    bool vfoChecked_ = false;
    char nextSeparator_ = 0; // from a line holding only an answer-form prefix
    std::optional<Waiting> waiting_;
};

} // namespace rxdeck::netcontrol
