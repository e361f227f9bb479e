// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "RemoteAllowList.h"

#include <QObject>
#include <QString>

class QUdpSocket;

// Receives remote-control datagrams on one UDP port and hands every datagram
// that holds a JSON object, as text, to whoever listens to dataReceived().
// Lives on the GUI thread; the socket's readiness arrives through the event loop.
class IUdpListener : public QObject {
    Q_OBJECT

public:
    IUdpListener(const QString& host, const QString& port);

    // Binds the port on the any-address (shared) and starts draining it.
    // A failed bind is not reported: the listener then never receives anything.
    void generate();

    // Datagrams from senders the list does not accept are dropped unread.
    void setAllowList(const RemoteAllowList& allow) { m_allow = allow; }

    QString host() const { return m_host; }
    int port() const { return m_port; }

signals:
    void dataReceived(QString value);

public slots:
    void processPendingDatagrams();

private:
    QUdpSocket* m_socket = nullptr;
    QString m_host;
    int m_port = 0;
    RemoteAllowList m_allow;
};
