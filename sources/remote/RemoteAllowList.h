// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The senders whose command and sync datagrams are carried out, from "[remote]
// allow=" in player.ini: addresses and networks ("10.0.0.2, 192.168.1.0/24").
// The control protocol has no authentication; on a shared LAN this list is
// what stops any host from driving the screen.
class RemoteAllowList {
public:
    // An empty text list means the key is unset: every sender is accepted.
    static RemoteAllowList fromEntries(const QStringList& entries);
    static RemoteAllowList fromSettings(const QString& iniPath);

    bool isSet() const { return m_set; }
    bool accepts(const QHostAddress& sender) const;
    // Entries that are neither an address nor a network; they match nobody.
    QStringList rejectedEntries() const { return m_rejected; }

private:
    bool m_set = false;
    QList<QPair<QHostAddress, int>> m_networks;
    QStringList m_rejected;
};
