// SPDX-License-Identifier: GPL-2.0-or-later
#include "SystemdNotifier.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

SystemdNotifier::SystemdNotifier(QObject* parent)
    : QObject(parent)
{
}

void SystemdNotifier::start()
{
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
        return;

    // Queued, so that "ready" means the scene is loaded and the event loop runs.
    QTimer::singleShot(0, this, [] { sd_notify(0, "READY=1"); });

    // WATCHDOG_PID is deliberately not compared with our own pid (as
    // sd_watchdog_enabled() would): under the kiosk compositor the service's main
    // process is the compositor, and the player is its child.
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    if (!ok || usec <= 0)
        return;
    m_interval = int(qBound<qint64>(1, usec / 2000, 24 * 3600 * 1000));
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SystemdNotifier::ping);
    m_timer->start(m_interval);
}

void SystemdNotifier::ping() { sd_notify(0, "WATCHDOG=1"); }
