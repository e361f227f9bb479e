// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleSource.h"

#include "ScheduleDocument.h"
#include "ServerUrls.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSettings>
#include <QUrl>
#include <QtQml>

#include <algorithm>

ScheduleSource::ScheduleSource(QObject* parent)
    : QObject(parent)
    , m_refreshInterval(refreshIntervalFromSettings())
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        emit message(QStringLiteral("FUNCTION - scheduleSource - trying again: ") + m_address);
        request(false);
    });
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { request(true); });
    connect(&m_network, &QNetworkAccessManager::finished, this, &ScheduleSource::finished);
}

namespace {

// The value without members named after those every script object inherits, at
// any depth. The scene gets the document as script objects, built member by
// member: "__proto__" goes through the prototype setter (a server could give an
// object no prototype at all), and a "toString" or "valueOf" that is not a function
// shadows the inherited one. Either way the object can no longer be turned into a
// string or a number: the scene's first concatenation or comparison on it throws
// and the load stops half done. No schedule needs members of these names.
QJsonValue withPlainObjects(const QJsonValue& value)
{
    static const QStringList inherited { QStringLiteral("__proto__"), QStringLiteral("__defineGetter__"),
        QStringLiteral("__defineSetter__"), QStringLiteral("__lookupGetter__"), QStringLiteral("__lookupSetter__"),
        QStringLiteral("constructor"), QStringLiteral("hasOwnProperty"), QStringLiteral("isPrototypeOf"),
        QStringLiteral("propertyIsEnumerable"), QStringLiteral("toLocaleString"), QStringLiteral("toString"),
        QStringLiteral("valueOf") };
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (QJsonValueRef item : array)
            item = withPlainObjects(item);
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end();) {
        if (inherited.contains(it.key())) {
            it = object.erase(it);
        } else {
            it.value() = withPlainObjects(it.value());
            ++it;
        }
    }
    return object;
}

} // namespace

QJsonObject ScheduleSource::readDocument(const QByteArray& body, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return QJsonObject();
    };
    if (body.trimmed().isEmpty())
        return fail(QStringLiteral("empty body"));
    if (body.size() > maxDocumentSize)
        return fail(QStringLiteral("body larger than %1 bytes").arg(maxDocumentSize));
    QJsonParseError parse;
    const QJsonDocument json = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at %2)").arg(parse.errorString()).arg(parse.offset));
    if (!json.isObject())
        return fail(QStringLiteral("not a JSON object"));
    const QJsonObject document = withPlainObjects(json.object()).toObject();
    if (!document.value(QLatin1String("schedule")).isObject() && !document.contains(QLatin1String("objects")))
        return fail(QStringLiteral("no schedule"));
    if (error)
        error->clear();
    return document;
}

QJsonObject ScheduleSource::takeDocument(
    const QByteArray& body, const QString& address, const QString& hostPort, QString* error, QStringList* lines)
{
    const QJsonObject read = readDocument(body, error);
    return read.isEmpty() ? read : ScheduleDocument::intake(read, address, hostPort, lines);
}

int ScheduleSource::retryDelay(int attempt, double jitter, int cap)
{
    const int shift = std::clamp(attempt, 0, 16);
    const qint64 full = std::min<qint64>(qint64(firstRetryDelay) << shift, cap);
    return int(full - qint64(full * std::clamp(jitter, 0.0, 1.0) / 4));
}

int ScheduleSource::refreshIntervalFromSettings(const QString& settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    bool ok = false;
    const double minutes = settings.value(QStringLiteral("schedule/refreshMinutes"), 5).toDouble(&ok);
    if (!ok) {
        qWarning() << settingsFile << ": [schedule] refreshMinutes is not a number, 5 is used";
        return 5 * 60000;
    }
    return minutes > 0 ? int(std::min(minutes, 24.0 * 60) * 60000) : 0;
}

void ScheduleSource::setRefreshInterval(int ms)
{
    if (ms == m_refreshInterval)
        return;
    m_refreshInterval = ms;
    if (m_refreshInterval <= 0)
        m_refreshTimer.stop();
    else if (m_taken)
        m_refreshTimer.start(m_refreshInterval);
    emit refreshIntervalChanged();
}

void ScheduleSource::deliverKept()
{
    QString error;
    QStringList lines;
    const QJsonObject document = takeDocument(m_cache.document(m_address), m_address, m_hostPort, &error, &lines);
    if (!error.isEmpty())
        return;
    emit message(QStringLiteral("FUNCTION - scheduleSource - playing the kept document of ") + m_address);
    for (const QString& line : lines)
        emit message(line);
    m_lastDocument = document;
    m_taken = m_fromCache = m_everDelivered = true;
    QJSEngine* engine = qjsEngine(this);
    emit documentReady(engine ? engine->toScriptValue(document) : QJSValue(), false);
}

void ScheduleSource::fetch(const QString& address)
{
    m_retryTimer.stop();
    m_refreshTimer.stop();
    m_attempt = 0;
    m_taken = false;
    m_fromCache = false;
    if (address != m_address) {
        m_address = address;
        emit addressChanged();
    }
    // At start the screen shows what it showed before the power went, at once; the
    // server's answer replaces it at the next change if it differs.
    if (!m_fetched) {
        m_fetched = true;
        deliverKept();
    }
    request(false);
}

void ScheduleSource::request(bool refresh)
{
    QNetworkRequest request { QUrl(m_address) };
    request.setTransferTimeout(requestTimeout);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // An earlier reply still under way is left to end on its own (its time-out
    // bounds it) and is then ignored.
    m_current = m_network.get(request);
    m_currentIsRefresh = refresh;
    QNetworkReply* reply = m_current;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxDocumentSize) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
}

void ScheduleSource::finished(QNetworkReply* reply)
{
    reply->deleteLater();
    m_clock.answered(reply->url(), reply->rawHeader("Date"));
    if (reply != m_current) {
        emit message(QStringLiteral("FUNCTION - init - answer to an earlier request ignored"));
        return;
    }
    m_current = nullptr;
    const bool refresh = m_currentIsRefresh;
    QString reason;
    QStringList lines;
    QJsonObject document;
    // An HTTP error status is judged by its body like any answer: a server may send
    // its schedule with an odd status, and an error page is no schedule anyway.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray body = reply->readAll();
    if (reply->property("tooLarge").toBool())
        reason = QStringLiteral("body larger than %1 bytes").arg(maxDocumentSize);
    else if (reply->error() != QNetworkReply::NoError && !status.isValid())
        reason = reply->errorString();
    else if ((document = takeDocument(body, m_address, m_hostPort, &reason, &lines)).isEmpty() && status.toInt() >= 400)
        reason = QStringLiteral("HTTP ") + status.toString() + QStringLiteral(", ") + reason;

    if (reason.isEmpty()) {
        deliver(body, document, lines, refresh);
        return;
    }
    qWarning().noquote() << "schedule:" << m_address << "did not give a JSON document:" << reason;
    if (reason == QLatin1String("no schedule"))
        emit message(QStringLiteral("FUNCTION - init - NO JSON FOUND OR JSON DOES NOT CONTAIN schedule OR objects"));
    emit failed(reason);
    if (!refresh && !m_taken)
        deliverKept();
    if (refresh) {
        emit message(QStringLiteral("FUNCTION - scheduleSource - refresh failed (") + reason
            + QStringLiteral("), the schedule on screen plays on"));
        if (m_refreshInterval > 0)
            m_refreshTimer.start(m_refreshInterval);
        return;
    }
    scheduleRetry(reason);
}

void ScheduleSource::deliver(
    const QByteArray& body, const QJsonObject& document, const QStringList& lines, bool refresh)
{
    m_attempt = 0;
    m_retryTimer.stop();
    if (m_refreshInterval > 0)
        m_refreshTimer.start(m_refreshInterval);
    // A fresh answer after the kept document replaces it like a refresh would.
    refresh = refresh || m_fromCache;
    m_fromCache = false;
    m_cache.storeDocument(m_address, body);
    keepMedia(document);
    if (refresh && document == m_lastDocument) {
        emit message(QStringLiteral("FUNCTION - scheduleSource - refresh: document unchanged"));
        return;
    }
    for (const QString& line : lines)
        emit message(line);
    m_lastDocument = document;
    const bool refreshed = refresh && m_taken;
    m_taken = m_everDelivered = true;
    QJSEngine* engine = qjsEngine(this);
    emit documentReady(engine ? engine->toScriptValue(document) : QJSValue(), refreshed);
}

void ScheduleSource::scheduleRetry(const QString& reason)
{
    const int delay = retryDelay(m_attempt++, QRandomGenerator::global()->generateDouble(),
        m_everDelivered ? maxRetryDelay : firstRecoveryRetryDelay);
    emit message(QStringLiteral("FUNCTION - scheduleSource - ") + m_address + QStringLiteral(" failed (") + reason
        + QStringLiteral("), next try in ") + QString::number(delay) + QStringLiteral(" ms"));
    m_retryTimer.start(delay);
}

QString ScheduleSource::mediaFor(const QString& source) const
{
    const QString address = ServerUrls::media(m_hostPort, source);
    const QString local = m_cache.localCopy(address);
    return local.isEmpty() ? address : local;
}

QString ScheduleSource::scheduleAddress(const QString& scheduleUid) const
{
    return ServerUrls::namedSchedule(m_hostPort, scheduleUid);
}

// Images and videos only: web pages are never kept (the web engine's own cache
// is emptied at each start on purpose). `document` is what the scene was handed:
// untrusted sources are gone from it already.
void ScheduleSource::keepMedia(const QJsonObject& document)
{
    QStringList urls;
    const QJsonArray sequences
        = document.value(QLatin1String("schedule")).toObject().value(QLatin1String("sequences")).toArray();
    for (const QJsonValue& entry : sequences) {
        for (const QJsonValue& value :
            entry.toObject().value(QLatin1String("sequence")).toObject().value(QLatin1String("elements")).toArray()) {
            const QJsonObject element = value.toObject();
            const QString type = element.value(QLatin1String("type")).toString();
            const QString url = ServerUrls::media(m_hostPort,
                element.value(QLatin1String("attributes")).toObject().value(QLatin1String("source")).toString());
            if ((type == QLatin1String("Image") || type == QLatin1String("Video"))
                && (url.startsWith(QLatin1String("http://")) || url.startsWith(QLatin1String("https://"))))
                urls.append(url);
        }
    }
    m_cache.fetchMedia(urls);
}
