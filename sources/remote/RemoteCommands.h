// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTimer;
class Spinner;

// The remote-control protocol: what a command datagram (port 8000) or a sync
// datagram (port 9000) does once a listener has passed it on. A command drives the
// scene's object named "stack" and the banner; a sync rewrites the launch
// parameters (dynamic properties host, port, deviceUid, jsonFile) and reports that
// the configuration changed. It knows nothing of sockets or of the engine: it is
// given the banner model, the object that holds the launch parameters (qApp in the
// product) and a way to find the scene's "stack". GUI thread only.
class RemoteCommands : public QObject {
    Q_OBJECT

public:
    // Finds the scene's "stack" object now; nullptr while there is none.
    using StackLookup = std::function<QObject*()>;

    RemoteCommands(Spinner* banner, QObject* launchParameters, StackLookup stack, QObject* parent = nullptr);

    // Hides the banner when a command's banner has been shown long enough.
    QTimer* bannerTimer() const { return m_bannerTimer; }

signals:
    // A sync datagram rewrote the launch parameters: the schedule must be loaded again.
    void configurationChanged();

public slots:
    // {"cmd":"player_...","id":...,"device_id":...}: previous, next, pause, resume,
    // play (with or without "schedule_id") and notification ("text", "notification_level").
    void command(QString json);
    // {"action":"sync"|"syncing"|"syncingEnd", ...}
    void sync(QString json);

private:
    void hideBanner();

    Spinner* m_banner;
    QObject* m_launch;
    StackLookup m_stack;
    QTimer* m_bannerTimer;
};
