#include "RemoteAllowList.h"

#include <QRegularExpression>
#include <QSettings>

// IPv4 peers reach a dual-stack socket as IPv4-mapped IPv6 addresses; the list
// is written the way people write IPv4, so compare in that form.
static QHostAddress plain(const QHostAddress& address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4) : address;
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
            network = qMakePair(plain(address), address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128);
        else if (word.contains(QLatin1Char('/')))
            network = QHostAddress::parseSubnet(word);
        if (network.first.isNull()) {
            list.m_rejected << word;
            continue;
        }
        const QHostAddress base = plain(network.first);
        const bool mapped = base.protocol() != network.first.protocol();
        list.m_networks << qMakePair(base, mapped ? qMax(0, network.second - 96) : network.second);
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
    const QHostAddress address = plain(sender);
    for (const auto& network : m_networks) {
        if (address.isInSubnet(network.first, network.second))
            return true;
    }
    return false;
}
