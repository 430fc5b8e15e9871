// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/networkaddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace rxdeck::remote {

namespace {

struct Scheme
{
    QLatin1StringView prefix;
    NetworkAddress::Protocol protocol;
};

constexpr Scheme schemes[] = {
    {QLatin1StringView("socket://"), NetworkAddress::Protocol::Raw},
    {QLatin1StringView("rfc2217://"), NetworkAddress::Protocol::Rfc2217},
};

const Scheme* schemeOf(const QString& device)
{
    for (const Scheme& scheme : schemes)
        if (device.startsWith(scheme.prefix, Qt::CaseInsensitive))
            return &scheme;
    return nullptr;
}

} // namespace

bool isNetworkDevice(const QString& device)
{
    return schemeOf(device) != nullptr;
}

std::optional<NetworkAddress> networkAddress(const QString& device)
{
    const Scheme* scheme = schemeOf(device);
    if (!scheme)
        return std::nullopt;
    // HOST:PORT, with an IPv6 host in brackets; a trailing "/" is tolerated, as
    // pyserial writes its URLs.
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:\[([0-9A-Fa-f:.]+(?:%[\w.-]+)?)\]|([A-Za-z0-9._-]+)):(\d{1,5})/?$)"));
    const auto match = form.match(QStringView(device).mid(scheme->prefix.size()));
    if (!match.hasMatch())
        return std::nullopt;
    const bool bracketed = match.hasCaptured(1);
    QString host = bracketed ? match.captured(1) : match.captured(2);
    if (bracketed && QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    const uint port = match.captured(3).toUInt();
    if (port == 0 || port > 65535)
        return std::nullopt;
    return NetworkAddress{scheme->protocol, std::move(host), quint16(port)};
}

} // namespace rxdeck::remote
