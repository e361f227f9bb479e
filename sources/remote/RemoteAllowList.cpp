// SPDX-License-Identifier: GPL-2.0-or-later
#include "RemoteAllowList.h"

#include <QRegularExpression>
#include <QSettings>

// IPv4 peers reach a dual-stack socket as IPv4-mapped IPv6 addresses (::ffff:a.b.c.d)
// while the list is written the way people write IPv4, so both sides are compared in
// IPv6 form: an IPv4 address becomes its mapped form, an IPv4 network a.b.c.d/n the
// mapped network /(96 + n). Turning IPv6 into IPv4 instead would take "::" for
// 0.0.0.0 and "::/0" for IPv4's 0.0.0.0/0, which holds no IPv6 sender.
static QHostAddress asIPv6(const QHostAddress& address)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return address;
    const quint32 ipv4 = address.toIPv4Address();
    Q_IPV6ADDR mapped {};
    mapped[10] = mapped[11] = 0xff;
    for (int i = 0; i < 4; ++i)
        mapped[12 + i] = quint8(ipv4 >> (24 - 8 * i));
    return QHostAddress(mapped);
}

RemoteAllowList RemoteAllowList::fromEntries(const QStringList& entries)
{
    RemoteAllowList list;
    // QSettings splits an unquoted value at its commas; a quoted one arrives whole.
    const QStringList words
        = entries.join(QLatin1Char(',')).split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    list.m_set = !words.isEmpty();
    for (const QString& word : words) {
        QPair<QHostAddress, int> network;
        const QHostAddress address(word);
        if (!address.isNull())
            network = qMakePair(address, address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128);
        // Qt reads a network without its address ("/8") as 0.0.0.0/8: that is no entry either.
        else if (word.contains(QLatin1Char('/')) && !QHostAddress(word.section(QLatin1Char('/'), 0, 0)).isNull())
            network = QHostAddress::parseSubnet(word);
        if (network.first.isNull()) {
            list.m_rejected << word;
            continue;
        }
        const bool ipv4 = network.first.protocol() == QAbstractSocket::IPv4Protocol;
        list.m_networks << qMakePair(asIPv6(network.first), ipv4 ? network.second + 96 : network.second);
    }
    return list;
}

RemoteAllowList RemoteAllowList::fromSettings(const QString& iniPath)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    return fromEntries(settings.value(QStringLiteral("remote/allow")).toStringList());
}

bool RemoteAllowList::accepts(const QHostAddress& sender) const
{
    if (!m_set)
        return true;
    const QHostAddress address = asIPv6(sender);
    for (const auto& network : m_networks) {
        if (address.isInSubnet(network.first, network.second))
            return true;
    }
    return false;
}
