// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Proof of play: one JSON line per composition, written when it leaves the screen,
// so that an advertiser can be shown what ran, when, for how long and why it ended.
//
// The scene's reporter tells it of each composition as it comes on screen (shown) and, just before
// an advance, why the one on screen is about to go (leaving); a reload closes the
// open record at once (left). Writing is synchronous and small (one append and a
// flush per line) and never throws: a file that cannot be written costs one warning
// and the record, never playback. Lives on the GUI thread, owned by the engine.
class PlayLog : public QObject {
    Q_OBJECT

public:
    explicit PlayLog(QObject* parent = nullptr);

    // Off (empty path) unless the command line's "--play-log=PATH" (`launchPath`, invalid
    // when not given; empty turns the log off) or "player.ini" (in the working directory,
    // "playLog" in its "log" group) names a file; the command line wins. "maxSize" in the
    // same group is the size in bytes past which the file is rotated.
    void configure(const QVariant& launchPath, const QString& settingsFile = QStringLiteral("player.ini"));
    QString path() const { return m_path; }
    bool enabled() const { return !m_path.isEmpty(); }

    // Rotated files kept beside the current one: PATH.1 (newest) to PATH.<keptFiles>.
    static constexpr int keptFiles = 3;
    static constexpr qint64 defaultMaxSize = 10 * 1024 * 1024;

    // The local time with its UTC offset written out ("+01:00", never "Z").
    static QString isoTime(const QDateTime& time);

public slots:
    // composition: schedule, sequence, element, type, source, device. Closes the
    // composition still open, then opens this one.
    void shown(const QVariantMap& composition);
    // The composition on screen is about to leave for this reason ("duration",
    // "video-end", "remote"). The first reason given since it was shown is kept,
    // unless its item failed (the slot was on screen but the advertiser's content
    // was not): "error" wins.
    void leaving(const QString& how, bool failed);
    // The composition on screen has already left (a reload cleared the screen).
    void left(const QString& how, bool failed);
    // An element whose item failed before it came on screen: one record of its own,
    // "ended":"skipped" with shown_ms 0 and "reason" (why the item failed), written at
    // once. The composition on screen, which stays, is left open.
    void skipped(const QVariantMap& composition, const QString& reason);

private:
    void close(const QString& how);
    static QJsonObject record(
        const QVariantMap& composition, const QDateTime& start, const QDateTime& end, const QString& how);
    bool write(const QByteArray& line);
    void rotate();
    void warnOnce(const QString& reason);

    QString m_path;
    qint64 m_maxSize = defaultMaxSize;
    bool m_open = false;
    QVariantMap m_composition;
    QDateTime m_start;
    QString m_pending;
    bool m_warned = false;
};
