// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ScheduleCache.h"
#include "ScheduleClock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJSValue>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QNetworkReply;

// Fetches the schedule document for the scene and keeps a screen fed through
// network outages. Lives on the GUI thread, owned by the scene.
//
// Only the answer to the newest fetch is delivered: a slow answer to an earlier
// load must not replace the schedule asked for after it. Until a usable document
// arrives for the newest address the fetch is tried again with a bounded back-off,
// so a screen that started before its server (a power cut that took both down)
// starts playing on its own. Once a document is taken, the same address is fetched
// again every few minutes and a document that differs is delivered as a refresh.
// Whatever a fetch brings that is not a usable document (no answer, an HTTP error,
// a body that is empty, too large or not JSON, JSON without a schedule) is only a
// failure: the scene keeps playing what it has.
class ScheduleSource : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString address READ address NOTIFY addressChanged)
    Q_PROPERTY(int refreshInterval READ refreshInterval WRITE setRefreshInterval NOTIFY refreshIntervalChanged)
    // host:port of the signage server: "/" media paths and page-builder sources
    // name pages on it. Set before fetch(): the intake of each document reads it.
    Q_PROPERTY(QString hostPort MEMBER m_hostPort)
    // The time diffusion windows are checked against, set right by the server's answers.
    Q_PROPERTY(ScheduleClock* clock READ clock CONSTANT)

public:
    explicit ScheduleSource(QObject* parent = nullptr);

    // Answers bigger than this are not schedules; reading stops there.
    static constexpr qint64 maxDocumentSize = 4 * 1024 * 1024;
    // No single request may hold the fetch for longer than this.
    static constexpr int requestTimeout = 15000;
    static constexpr int firstRetryDelay = 2000;
    static constexpr int maxRetryDelay = 60000;
    // Until a first document is on screen there is nothing to lose by asking often.
    static constexpr int firstRecoveryRetryDelay = 10000;

    // The document in a body, or an empty object with the reason in `error`. A
    // document is a JSON object with a "schedule" object or an "objects" member;
    // members named like those every script object inherits ("__proto__",
    // "toString", ...) are dropped from it at any depth.
    static QJsonObject readDocument(const QByteArray& body, QString* error);
    // What the scene is handed for a body fetched from `address`: the read document
    // after ScheduleDocument::intake, with its debug lines in `lines`; an empty
    // object (and the reason in `error`) when the body is no document.
    static QJsonObject takeDocument(
        const QByteArray& body, const QString& address, const QString& hostPort, QString* error, QStringList* lines);
    // The wait before retry number `attempt` (0 for the first): 2 s doubling up to
    // `cap`, less up to a quarter of it by `jitter` (0 to 1), so that screens that
    // lost the same server do not all come back in the same second.
    static int retryDelay(int attempt, double jitter, int cap = maxRetryDelay);

    // "refreshMinutes" in the "schedule" group of the settings file, 5 when absent;
    // 0 or less turns the refresh off. In milliseconds.
    static int refreshIntervalFromSettings(const QString& settingsFile = QStringLiteral("player.ini"));

    QString address() const { return m_address; }
    int refreshInterval() const { return m_refreshInterval; }
    ScheduleClock* clock() { return &m_clock; }
    void setRefreshInterval(int ms);

    // Starts over from `address`: the retries and the refresh follow it from now on.
    Q_INVOKABLE void fetch(const QString& address);
    // What an image or video item should load for `source`: the kept copy when
    // there is one, else its address ("/" paths resolved against hostPort).
    Q_INVOKABLE QString mediaFor(const QString& source) const;
    // The address of the schedule named `scheduleUid` on this source's server.
    Q_INVOKABLE QString scheduleAddress(const QString& scheduleUid) const;

signals:
    // A usable document for the newest address; `refreshed` when it replaces one
    // already taken from the same address.
    void documentReady(const QJSValue& document, bool refreshed);
    void failed(const QString& reason);
    // A line for the scene's debug output.
    void message(const QString& text);
    void addressChanged();
    void refreshIntervalChanged();

private:
    void request(bool refresh);
    void finished(QNetworkReply* reply);
    void deliver(const QByteArray& body, const QJsonObject& document, const QStringList& lines, bool refresh);
    void scheduleRetry(const QString& reason);
    void deliverKept();
    void keepMedia(const QJsonObject& document);

    QNetworkAccessManager m_network;
    ScheduleClock m_clock { this };
    QString m_address;
    QPointer<QNetworkReply> m_current;
    bool m_currentIsRefresh = false;
    bool m_taken = false; // a document was delivered for m_address
    bool m_fromCache = false; // and it came from the cache, not from the server
    bool m_fetched = false; // fetch() was called before
    bool m_everDelivered = false; // a document, fetched or kept, reached the scene since start
    QString m_hostPort;
    ScheduleCache m_cache { ScheduleCache::defaultDirectory(), ScheduleCache::maxSizeFromSettings() };
    QJsonObject m_lastDocument; // as handed to the scene
    int m_attempt = 0;
    int m_refreshInterval = 0;
    QTimer m_retryTimer;
    QTimer m_refreshTimer;
};
