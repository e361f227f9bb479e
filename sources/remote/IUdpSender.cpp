// SPDX-License-Identifier: GPL-2.0-or-later
#include "IUdpSender.h"

#include <QHostAddress>
#include <QUdpSocket>

IUdpSender::IUdpSender(const QString& host, quint16 port)
    : QObject(nullptr)
    , m_host(host)
    , m_port(port)
{
    if (m_host == QLatin1String("*")) {
        QString wired;
        QString wireless;
        const auto interfaces = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface& interface : interfaces) {
            if (interface.name() == QLatin1String("eth0"))
                wired = getBroadcastStringForItem(interface);
            else if (interface.name() == QLatin1String("wlan0"))
                wireless = getBroadcastStringForItem(interface);
        }
        if (!wired.isEmpty())
            m_host = wired;
        else if (!wireless.isEmpty())
            m_host = wireless;
        else
            m_host = QStringLiteral("255.255.255.255");
    }
    m_socket = new QUdpSocket(this);
}

bool IUdpSender::connect()
{
    if (m_socket->bind(QHostAddress(m_host), 0))
        m_connected = true;
    return m_connected;
}

bool IUdpSender::sendMessage(const QString& message)
{
    const QByteArray bytes = message.toUtf8();
    return m_socket->writeDatagram(bytes, QHostAddress(m_host), m_port) >= 0;
}

void IUdpSender::close() { m_socket->close(); }

QString IUdpSender::getBroadcastStringForItem(const QNetworkInterface& interface)
{
    // Only the first entry counts: an interface whose first entry is IPv6 has no
    // broadcast address for us even when an IPv4 entry follows.
    const auto entries = interface.addressEntries();
    if (entries.isEmpty())
        return QString();
    const QHostAddress broadcast = entries.first().broadcast();
    return broadcast.isNull() ? QString() : broadcast.toString();
}
