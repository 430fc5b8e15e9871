// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/rfc2217session.h"

#include "link/linesettings.h"

namespace rxdeck::remote {

namespace {

// Telnet (RFC 854, 855).
constexpr unsigned char SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr unsigned char BINARY = 0, SGA = 3, COM_PORT = 44;

// Client-to-server COM-PORT-OPTION commands; the server answers with 100 added.
constexpr unsigned char serverAnswer = 100;

// What the far port must be set to, and how each answer is read.
struct Setting
{
    unsigned char command;
    quint32 value;
    int size; // bytes of the value
    const char* name;
};

// RFC 2217's codes: parity 1 none, 2 odd, 3 even; stop bits 1 one, 2 two.
constexpr quint32 parityCode(LineSettings::Parity parity)
{
    return quint32(parity) + 1;
}

constexpr Setting settings[] = {
    {1, quint32(receiverLine.baudRate), 4, "baud rate"},
    {2, quint32(receiverLine.dataBits), 1, "data size"},
    {3, parityCode(receiverLine.parity), 1, "parity"},
    {4, quint32(receiverLine.stopBits), 1, "stop bits"},
};
constexpr unsigned allConfirmed = (1u << std::size(settings)) - 1;
constexpr unsigned char setControl = 5, noFlowControl = 1;

bool weAccept(unsigned char option)
{
    return option == BINARY || option == SGA || option == COM_PORT;
}

bool theyMay(unsigned char option)
{
    // Not ECHO: a server that echoes would put our own commands into the replies.
    return option == BINARY || option == SGA;
}

void appendEscaped(QByteArray& out, char byte)
{
    out.append(byte);
    if (static_cast<unsigned char>(byte) == IAC)
        out.append(byte);
}

QByteArray subnegotiationOf(unsigned char command, quint32 value, int size)
{
    QByteArray out{"\xff\xfa"};
    out.append(char(COM_PORT));
    out.append(char(command));
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        appendEscaped(out, char((value >> shift) & 0xff));
    out.append("\xff\xf0", 2);
    return out;
}

} // namespace

QByteArray Rfc2217Session::start()
{
    QByteArray out;
    request(WILL, COM_PORT, out);
    request(WILL, BINARY, out);
    request(DO, BINARY, out);
    request(WILL, SGA, out);
    request(DO, SGA, out);
    return out;
}

QByteArray Rfc2217Session::escape(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char byte : data)
        appendEscaped(out, byte);
    return out;
}

QByteArray Rfc2217Session::receive(const QByteArray& bytes, QByteArray& answer)
{
    QByteArray data;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (parse_) {
        case Parse::Data:
            if (byte == IAC) {
                parse_ = Parse::Command;
            } else if (byte == 0 && lastWasCr_ && !them_.on[BINARY]) {
                lastWasCr_ = false; // CR NUL is a bare CR outside binary mode
            } else {
                data.append(c);
                lastWasCr_ = byte == '\r';
            }
            break;
        case Parse::Command:
            parse_ = Parse::Data;
            if (byte == IAC) {
                data.append(c);
                lastWasCr_ = false;
            } else if (byte >= WILL) {
                verb_ = byte;
                parse_ = Parse::Option;
            } else if (byte == SB) {
                sub_.clear();
                parse_ = Parse::Sub;
            } // other commands (NOP, GA, …) carry nothing for us
            break;
        case Parse::Option:
            parse_ = Parse::Data;
            negotiate(verb_, byte, answer);
            break;
        case Parse::Sub:
            if (byte == IAC)
                parse_ = Parse::SubCommand;
            else if (sub_.size() < 64) // nothing we read is longer; the rest is dropped
                sub_.append(c);
            break;
        case Parse::SubCommand:
            if (byte == IAC) {
                parse_ = Parse::Sub;
                if (sub_.size() < 64)
                    sub_.append(c);
            } else {
                parse_ = Parse::Data; // SE, or a broken one ended early
                subnegotiation(sub_);
            }
            break;
        }
    }
    return data;
}

void Rfc2217Session::request(unsigned char verb, unsigned char option, QByteArray& out)
{
    Side& side = verb == WILL || verb == WONT ? us_ : them_;
    side.asked[option] = true;
    out.append(char(IAC));
    out.append(char(verb));
    out.append(char(option));
}

void Rfc2217Session::negotiate(unsigned char verb, unsigned char option, QByteArray& answer)
{
    const bool aboutUs = verb == DO || verb == DONT;
    const bool enable = verb == DO || verb == WILL;
    Side& side = aboutUs ? us_ : them_;
    const bool wasAsked = std::exchange(side.asked[option], false);
    const unsigned char yes = aboutUs ? WILL : DO;
    const unsigned char no = aboutUs ? WONT : DONT;
    const auto reply = [&](unsigned char v) {
        answer.append(char(IAC));
        answer.append(char(v));
        answer.append(char(option));
    };

    // Answer only a change of state (RFC 1143), so two peers never loop.
    if (enable) {
        if (side.on[option])
            return;
        if (!(aboutUs ? weAccept(option) : theyMay(option))) {
            reply(no);
            return;
        }
        side.on[option] = true;
        if (!wasAsked)
            reply(yes);
        if (aboutUs)
            optionEnabled(option, answer);
    } else {
        if (!side.on[option] && !wasAsked)
            return;
        const bool wasOn = std::exchange(side.on[option], false);
        if (wasOn && !wasAsked)
            reply(no);
        if (aboutUs)
            optionDisabled(option);
    }
}

void Rfc2217Session::optionEnabled(unsigned char option, QByteArray& answer)
{
    if (option != COM_PORT || state_ != State::Negotiating)
        return;
    for (const Setting& setting : settings)
        answer.append(subnegotiationOf(setting.command, setting.value, setting.size));
    answer.append(subnegotiationOf(setControl, noFlowControl, 1));
}

void Rfc2217Session::optionDisabled(unsigned char option)
{
    if (option == COM_PORT)
        refuse(QStringLiteral("the server declined the COM-PORT option"));
}

void Rfc2217Session::subnegotiation(const QByteArray& body)
{
    if (body.size() < 2 || static_cast<unsigned char>(body[0]) != COM_PORT)
        return;
    const auto command = static_cast<unsigned char>(body[1]);
    for (std::size_t i = 0; i < std::size(settings); ++i) {
        const Setting& setting = settings[i];
        if (command != setting.command + serverAnswer)
            continue;
        if (body.size() != 2 + setting.size) {
            refuse(QStringLiteral("a malformed answer on the %1")
                       .arg(QLatin1StringView(setting.name)));
            return;
        }
        quint32 value = 0;
        for (int k = 0; k < setting.size; ++k)
            value = (value << 8) | static_cast<unsigned char>(body[2 + k]);
        if (value != setting.value) {
            refuse(QStringLiteral("the far port's %1 is %2, not %3")
                       .arg(QLatin1StringView(setting.name))
                       .arg(value)
                       .arg(setting.value));
            return;
        }
        confirmed_ |= 1u << i;
        if (confirmed_ == allConfirmed && state_ == State::Negotiating)
            state_ = State::Ready;
        return;
    }
    // Line and modem state notices, flow control hints: nothing to act on.
}

void Rfc2217Session::refuse(const QString& why)
{
    if (state_ == State::Refused)
        return;
    state_ = State::Refused;
    refusal_ = why;
}

} // namespace rxdeck::remote
