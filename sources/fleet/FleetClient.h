// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "FleetSettings.h"
#include "FleetState.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>

class MqttConnection;
class QImage;

// The screen's side of its fleet: it says it is online, keeps its state retained
// on the broker, repeats its status datagrams as events, takes commands and syncs
// as the UDP ports do, and answers screenshot requests. GUI thread.
class FleetClient : public QObject {
    Q_OBJECT

public:
    FleetClient(const FleetSettings& settings, QObject* parent = nullptr);
    ~FleetClient() override;

    // The screen's name in the topics; the session starts over when it changes.
    void setIdentifier(const QString& identifier);
    QString identifier() const { return m_identifier; }
    void setWindow(QQuickWindow* window) { m_window = window; }
    // A scene object with an "address" property (the schedule being fetched).
    void watchSchedule(QObject* source);

    // The window's picture as a JPEG at most `maxWidth` pixels wide; empty without one.
    static QByteArray jpeg(const QImage& picture, int maxWidth = 1280);

signals:
    // A payload of the command or sync topics, as a UDP datagram's text.
    void command(QString json);
    void sync(QString json);

public slots:
    // A status datagram as sent on the LAN.
    void statusMessage(const QString& datagram);
    void publishState();
    // The video decoder in use ("" for none known): software, or which hardware API.
    void setDecoder(const QString& decoder);

private:
    void received(const QString& topic, const QByteArray& payload);
    void sendScreenshot();

    FleetSettings m_settings;
    QString m_identifier;
    bool m_opened = false;
    MqttConnection* m_connection;
    FleetState m_state;
    QTimer m_stateTimer;
    QTimer m_screenshotTimer; // requests that come in a burst get one picture
    QElapsedTimer m_lastScreenshot;
    QElapsedTimer m_uptime;
    QPointer<QQuickWindow> m_window;
    QPointer<QObject> m_scheduleSource;
};
