// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class QTimer;

// Tells systemd that the player is up and that its event loop still turns. The
// pings come from a timer on the GUI thread, so a frozen event loop stops them and
// systemd's watchdog kills and restarts the player. Without NOTIFY_SOCKET (not run
// by systemd) it does nothing at all.
class SystemdNotifier : public QObject {
    Q_OBJECT

public:
    explicit SystemdNotifier(QObject* parent = nullptr);

    // Sends READY=1 once the event loop runs, then WATCHDOG=1 every half of the
    // interval systemd asks for (WATCHDOG_USEC), if it asks.
    void start();
    int pingInterval() const { return m_interval; }

private slots:
    void ping();

private:
    QTimer* m_timer = nullptr;
    int m_interval = 0;
};
