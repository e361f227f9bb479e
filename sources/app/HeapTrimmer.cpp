// SPDX-License-Identifier: GPL-2.0-or-later
#include "HeapTrimmer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariant>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void HeapTrimmer::limitArenas(int arenas)
{
#ifdef __GLIBC__
    if (qEnvironmentVariableIsEmpty("MALLOC_ARENA_MAX"))
        mallopt(M_ARENA_MAX, arenas);
#else
    Q_UNUSED(arenas)
#endif
}

HeapTrimmer::HeapTrimmer(QObject* parent)
    : QObject(parent)
{
}

void HeapTrimmer::start(int intervalMs)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::VeryCoarseTimer);
        connect(m_timer, &QTimer::timeout, this, [] {
            const qint64 took = trim();
            if (took > 20000)
                qInfo("HeapTrimmer: releasing free memory held the GUI thread for %lld ms", took / 1000);
#ifdef __GLIBC__
            // What the program really holds, apart from what the allocator keeps in
            // reserve: a leak shows here as a steady rise, fragmentation does not.
            if (qApp->property("bDebug") == QVariant(true)) {
                const struct mallinfo2 info = mallinfo2();
                qDebug().noquote() << QStringLiteral(
                    "FUNCTION - HeapTrimmer - in use %1 KiB, free in the arenas %2 KiB, trim %3 us")
                                          .arg((info.uordblks + info.hblkhd) / 1024)
                                          .arg(info.fordblks / 1024)
                                          .arg(took);
            }
#endif
        });
    }
    m_timer->start(intervalMs);
}

qint64 HeapTrimmer::trim()
{
    QElapsedTimer clock;
    clock.start();
#ifdef __GLIBC__
    // Each arena is locked in turn while its free pages are released: other threads'
    // allocations wait a moment, nothing else changes.
    malloc_trim(0);
#endif
    return clock.nsecsElapsed() / 1000;
}
