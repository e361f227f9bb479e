// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One MQTT session kept up with a broker. The library's socket lives on a thread
// of its own (its connects and name look-ups block); every result comes back to
// the owner's thread as a signal. A broker that is away or refuses is tried again
// with a growing pause, so the owner only ever sees connected() and received().
class MqttConnection : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString host;
        int port = 1883;
        QString clientId;
        QString username;
        QString password;
        bool tls = false;
        QString cafile; // empty: the system's trust store
        int keepalive = 30;
        QString willTopic; // retained "false" there when the session dies unannounced
        QString onlineTopic; // retained "true" there at each connection
        QStringList subscriptions;
    };

    explicit MqttConnection(QObject* parent = nullptr);
    // Leaves the session at once: the thread ends on its own, even mid-connect.
    ~MqttConnection() override;

    // Starts (or restarts with new options) the session.
    void open(const Options& options);
    // Says goodbye (the online topic set to "false") and ends the session.
    void close();

    bool isConnected() const;
    // Dropped while there is no session; QoS 1.
    bool publish(const QString& topic, const QByteArray& payload, bool retained);

    // The pause before connection attempt `attempt` (from 0): 1 s doubling, at most 60 s.
    static int retryDelayMs(int attempt);

signals:
    void connected();
    void disconnected(const QString& reason);
    void received(const QString& topic, const QByteArray& payload);

public:
    struct Session; // shared by the owner and the session's thread

private:
    std::shared_ptr<Session> m_session;
};
