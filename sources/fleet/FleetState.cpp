// SPDX-License-Identifier: GPL-2.0-or-later
#include "FleetState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>

#ifndef PLAYER_VERSION
#define PLAYER_VERSION "unknown"
#endif

bool FleetState::take(const QString& datagram, const QDateTime& now)
{
    const QJsonObject message = QJsonDocument::fromJson(datagram.toUtf8()).object();
    const QString cmd = message.value(QLatin1String("cmd")).toString();
    if (cmd == QLatin1String("player_composition_changed")) {
        m_composition = message.value(QLatin1String("infos")).toObject();
        m_device = message.value(QLatin1String("device_id")).toString();
        m_since = now;
        // Whatever comes on screen plays: a pause holds one composition.
        m_paused = false;
        return true;
    }
    const bool paused = cmd == QLatin1String("player_is_paused");
    if (!paused && cmd != QLatin1String("player_is_resumed"))
        return false;
    const bool changed = m_paused != paused;
    m_paused = paused;
    return changed;
}

QByteArray FleetState::json(qint64 uptimeSeconds, const QStringList& addresses) const
{
    QJsonObject state {
        { "device_id", m_device },
        { "composition", m_since.isValid() ? QJsonValue(m_composition) : QJsonValue() },
        { "since", m_since.isValid() ? QJsonValue(m_since.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue() },
        { "paused", m_paused },
        { "schedule", m_schedule },
        { "version", QStringLiteral(PLAYER_VERSION) },
        { "uptime_s", uptimeSeconds },
        { "addresses", QJsonArray::fromStringList(addresses) },
        { "decoder", m_decoder },
    };
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QStringList FleetState::ipv4Addresses()
{
    QStringList addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp)
            || interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                addresses << entry.ip().toString();
        }
    }
    return addresses;
}
