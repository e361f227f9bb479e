// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

// Holds the change to the next composition back until the item that will show
// it has something to show (its "ready" property), so that no frame between
// the two compositions shows an item's empty background: a web view before its
// page, a video before its first picture, an image before it is decoded.
// Patience bounds the wait; a composition that is still not ready then is shown
// all the same, so that nothing stalls the sequence. GUI thread only.
class CompositionGate : public QObject {
    Q_OBJECT
    Q_PROPERTY(int patience READ patience WRITE setPatience NOTIFY patienceChanged)
    Q_PROPERTY(bool waiting READ waiting NOTIFY waitingChanged)

public:
    explicit CompositionGate(QObject* parent = nullptr);

    int patience() const { return m_timer.interval(); }
    void setPatience(int ms);
    bool waiting() const { return m_waiting; }

    // True when item may be shown now: it has no "ready" property, it is ready,
    // or it is the item already waited for (opened() was emitted for it, or it
    // is asked for a second time: whoever asks again will not wait). Otherwise
    // the gate starts waiting for it and emits opened() once it is ready (at the
    // next turn of the event loop), gone or the patience has run out; the caller
    // then asks again.
    Q_INVOKABLE bool admit(QObject* item);

    // Forgets the item waited for, without opening.
    Q_INVOKABLE void cancel();

signals:
    void opened();
    void patienceChanged();
    void waitingChanged();

private slots:
    void itemReadyChanged();

private:
    static bool isReady(const QObject* item);
    void setWaiting(bool waiting);
    void open();

    QPointer<QObject> m_item;
    QMetaObject::Connection m_watch;
    QMetaObject::Connection m_gone;
    QTimer m_timer;
    bool m_waiting = false;
};
