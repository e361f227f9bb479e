// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// The time that diffusion windows are checked against. Normally the local clock;
// but a screen without a battery-backed clock can boot years behind, before time
// synchronisation, and would play the night schedule at noon. So every answer of
// the signage server brings the server's time (its HTTP Date), kept running on the
// monotonic clock. While the local clock is earlier than this player's build, or
// more than five minutes off the server's, the server's time is used instead; the
// local clock is used again as soon as it agrees. Each change of mind is logged
// once. A schedule read from a file has no server: the local clock is all there is.
// Owned by the schedule source; GUI thread.
class ScheduleClock : public QObject {
    Q_OBJECT
    // Empty while the local clock is used; else a few words for the status screen.
    Q_PROPERTY(QString problem READ problem NOTIFY problemChanged)

public:
    static constexpr qint64 tolerance = 5 * 60 * 1000;
    // The time this player was built, in ms since the epoch: no clock is earlier.
    static const qint64 buildTime;

    explicit ScheduleClock(QObject* parent = nullptr);

    // The moment of an HTTP Date header ("Tue, 08 Dec 2026 16:35:19 GMT"); invalid
    // when the text is not one.
    static QDateTime httpDate(const QByteArray& text);
    // Whether a local clock reading `local` is to be trusted against the server's
    // reading `server` taken at the same moment (null when there is none) and the
    // build time `build` (ms since the epoch).
    static bool localAgrees(qint64 local, const QDateTime& server, qint64 build);

    // An answer from `url` with the Date header `date` (empty when it had none).
    // Answers from anything but an HTTP server put the local clock back in charge.
    void answered(const QUrl& url, const QByteArray& date);
    // The time to check diffusion windows against, in ms since the epoch.
    Q_INVOKABLE double now();
    QString problem() const { return m_problem; }

    // Tests run the rule on clocks of their own (both in ms).
    void setClocks(std::function<qint64()> local, std::function<qint64()> monotonic, qint64 build);

signals:
    void problemChanged();

private:
    void setProblem(const QString& problem, const QString& logLine);

    std::function<qint64()> m_local;
    std::function<qint64()> m_monotonic;
    qint64 m_build = buildTime;
    QDateTime m_serverAtAnswer; // null: no server time known
    qint64 m_monotonicAtAnswer = 0;
    QString m_problem;
    bool m_toldBuild = false;
};
