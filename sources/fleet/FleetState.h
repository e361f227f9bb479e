// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What a screen tells its fleet about itself: the composition on screen (from its
// status datagrams), since when, whether it is paused, and the facts around it.
// Plain value, GUI thread.
class FleetState {
public:
    // A status datagram as broadcast; false when it changes nothing in the state.
    bool take(const QString& datagram, const QDateTime& now);

    void setSchedule(const QString& address) { m_schedule = address; }
    void setDecoder(const QString& decoder) { m_decoder = decoder; }
    QString decoder() const { return m_decoder; }

    // The retained state document; `addresses` are the screen's IPv4 addresses.
    QByteArray json(qint64 uptimeSeconds, const QStringList& addresses) const;

    // The IPv4 addresses of the interfaces that are up, loopback left out.
    static QStringList ipv4Addresses();

private:
    QJsonObject m_composition; // the datagram's "infos"
    QString m_device;
    QDateTime m_since;
    bool m_paused = false;
    QString m_schedule;
    QString m_decoder;
};
