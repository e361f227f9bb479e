// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QNetworkInterface>
#include <QObject>
#include <QString>

class QUdpSocket;

// Broadcasts status datagrams. The destination is worked out once, at
// construction, from the interfaces named eth0 and wlan0. GUI thread only.
class IUdpSender : public QObject {
    Q_OBJECT

public:
    IUdpSender(const QString& host, quint16 port);

    // connect() below would otherwise hide every QObject::connect overload in this scope.
    using QObject::connect;
    bool connect();
    bool sendMessage(const QString& message);
    void close();

    QString getHost() const { return m_host; }
    quint16 getPort() const { return m_port; }
    bool isConnected() const { return m_connected; }

    static QString getBroadcastStringForItem(const QNetworkInterface& interface);

private:
    QUdpSocket* m_socket = nullptr;
    QString m_host;
    quint16 m_port = 0;
    bool m_connected = false;
};
