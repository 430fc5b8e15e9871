// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <QString>

namespace rxdeck::remote {

// A serial line reached through a serial server on the network, named the way
// pyserial and many radio programs name it:
//   socket://HOST:PORT   raw TCP: the bytes of the line and nothing else
//   rfc2217://HOST:PORT  telnet, with the line settings carried by RFC 2217
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
struct NetworkAddress
{
    enum class Protocol
    {
        Raw,
        Rfc2217,
    };
    Protocol protocol = Protocol::Raw;
    QString host; // without brackets
    quint16 port = 0;

    bool operator==(const NetworkAddress&) const = default;
};

// Whether the device name asks for the network (it starts with one of the schemes),
// well-formed or not.
bool isNetworkDevice(const QString& device);

// The address a device name gives, or nothing when it is not a well-formed one.
std::optional<NetworkAddress> networkAddress(const QString& device);

} // namespace rxdeck::remote
