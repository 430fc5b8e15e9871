// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <QByteArray>
#include <QString>

namespace rxdeck::remote {

// The client side of a telnet connection to a serial server with RFC 2217's
// COM-PORT-OPTION: it asks for the option, sets the far port to the receiver's line
// (link/linesettings.h) without flow control, and checks each answer. It also
// takes the telnet layer off the data: 0xFF is doubled on the wire both ways,
// options other than binary transmission and suppress-go-ahead are refused.
// Pure protocol: bytes in, bytes out; the socket is someone else's.
class Rfc2217Session
{
public:
    enum class State
    {
        Negotiating,
        Ready,   // the far port has confirmed every setting
        Refused, // refusal() says what the server did
    };

    // What to send first, right after connecting.
    QByteArray start();

    // Takes bytes from the server. Returns the line's data in them; anything the
    // session must answer is appended to `answer`.
    QByteArray receive(const QByteArray& bytes, QByteArray& answer);

    // The line's data, as it goes on the wire.
    static QByteArray escape(const QByteArray& data);

    State state() const { return state_; }
    QString refusal() const { return refusal_; }

private:
    enum class Parse
    {
        Data,
        Command, // after IAC
        Option,  // after IAC and DO, DONT, WILL or WONT
        Sub,     // inside IAC SB … IAC SE
        SubCommand,
    };
    struct Side
    {
        std::array<bool, 256> on{};
        std::array<bool, 256> asked{}; // our request is awaiting its answer
    };

    void negotiate(unsigned char verb, unsigned char option, QByteArray& answer);
    void request(unsigned char verb, unsigned char option, QByteArray& out);
    void optionEnabled(unsigned char option, QByteArray& answer);
    void optionDisabled(unsigned char option);
    void subnegotiation(const QByteArray& body);
    void refuse(const QString& why);

    State state_ = State::Negotiating;
    QString refusal_;
    Parse parse_ = Parse::Data;
    unsigned char verb_ = 0;
    QByteArray sub_;
    bool lastWasCr_ = false;
    Side us_;                // options we perform (WILL/WONT)
    Side them_;              // options the server performs (DO/DONT)
    unsigned confirmed_ = 0; // bit per setting the server has confirmed
};

} // namespace rxdeck::remote
