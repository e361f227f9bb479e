#include "CompositionGate.h"

#include <QCoreApplication>
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
    const int index = meta->indexOfProperty("ready");
    const QMetaProperty ready = meta->property(index);
    if (ready.hasNotifySignal()) {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("itemReadyChanged()"));
        m_watch = connect(item, ready.notifySignal(), this, slot);
    }
    m_timer.start();
    emit waitingChanged();
    return false;
}

void CompositionGate::cancel()
{
    disconnect(m_watch);
    m_item = nullptr;
    if (m_timer.isActive()) {
        m_timer.stop();
        emit waitingChanged();
    }
}

void CompositionGate::itemReadyChanged()
{
    if (m_item && isReady(m_item))
        open();
}

// The item stays remembered, so that the caller's second admit() lets it through.
void CompositionGate::open()
{
    disconnect(m_watch);
    const bool wasWaiting = m_timer.isActive();
    m_timer.stop();
    if (wasWaiting)
        emit waitingChanged();
    if (m_item)
        emit opened();
}
