// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>

class PlayLog;
class QJSEngine;

// What the scene shows, told to the LAN and to the proof-of-play log. The scene
// only says what happens (its root's compositionShown, compositionLeaving,
// compositionLeft, compositionPaused and compositionResumed signals); this
// turns each into the status datagram (message(), which the engine broadcasts)
// and the play log's calls. Owned by the engine; GUI thread only.
class CompositionReporter : public QObject {
    Q_OBJECT

public:
    explicit CompositionReporter(PlayLog* log = nullptr, QObject* parent = nullptr);

    // Connects the scene's signals; false when the scene has none of them.
    bool watch(QObject* scene);

signals:
    // A status datagram, as JSON text.
    void message(const QString& datagram);

public slots:
    // composition: type, source, duration, hueColor and fragrance (the datagram's
    // infos, the last two only when the element has them), schedule, sequence,
    // element and device (the play log's fields).
    void shown(const QVariant& composition);
    // The composition on screen is about to leave (an advance is under way), or has
    // already left (the screen was cleared); failed: its item could not show it.
    void leaving(const QString& reason, bool failed);
    void left(const QString& reason, bool failed);
    // An element's item failed before it came on screen: a play log record, no datagram
    // (nothing new is on screen).
    void skipped(const QVariant& composition, const QString& reason);
    void paused();
    void resumed();

private:
    void send(const QString& cmd, const QJSValue& infos = QJSValue());
    QJSValue scriptValue(const QVariant& composition) const;
    static QVariantMap record(const QJSValue& composition);

    QPointer<PlayLog> m_log;
    QJSEngine* m_engine = nullptr;
    QString m_device;
};
