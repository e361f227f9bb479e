// SPDX-License-Identifier: GPL-2.0-or-later
#include "CompositionGate.h"

#include <QMetaProperty>

CompositionGate::CompositionGate(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(2000);
    connect(&m_timer, &QTimer::timeout, this, &CompositionGate::open);
}

void CompositionGate::setPatience(int ms)
{
    if (ms == m_timer.interval())
        return;
    m_timer.setInterval(ms);
    emit patienceChanged();
}

bool CompositionGate::isReady(const QObject* item)
{
    const QVariant ready = item->property("ready");
    return !ready.isValid() || ready.toBool();
}

void CompositionGate::setWaiting(bool waiting)
{
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    emit waitingChanged();
}

bool CompositionGate::admit(QObject* item)
{
    if (!item)
        return true;
    if (item == m_item) {
        cancel();
        return true;
    }
    cancel();
    if (isReady(item))
        return true;

    m_item = item;
    const QMetaObject* meta = item->metaObject();
    const QMetaProperty ready = meta->property(meta->indexOfProperty("ready"));
    if (ready.hasNotifySignal()) {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("itemReadyChanged()"));
        m_watch = connect(item, ready.notifySignal(), this, slot);
    }
    // The scene destroys waiting items when it clears or rebuilds them: the
    // advance held back must still happen then, at the next turn of the event
    // loop rather than inside the destruction (the whole scene may be going).
    m_gone = connect(item, &QObject::destroyed, this, &CompositionGate::open, Qt::QueuedConnection);
    m_timer.start();
    setWaiting(true);
    return false;
}

void CompositionGate::cancel()
{
    disconnect(m_watch);
    disconnect(m_gone);
    m_item = nullptr;
    m_timer.stop();
    setWaiting(false);
}

// Checked at the next turn of the event loop: the item's other properties that
// change with ready (failed, which makes the scene skip it) may not have settled
// while its notify signal is still being delivered.
void CompositionGate::itemReadyChanged()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_item && isReady(m_item))
                open();
        },
        Qt::QueuedConnection);
}

// Ready, gone or out of patience: the advance goes on. The item stays
// remembered, so that the caller's second admit() lets it through.
void CompositionGate::open()
{
    if (!m_waiting)
        return;
    disconnect(m_watch);
    disconnect(m_gone);
    m_timer.stop();
    setWaiting(false);
    emit opened();
}
