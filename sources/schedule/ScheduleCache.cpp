// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

// Replaces `path` in one step: whoever reads it sees the old file or the new one,
// even across a power cut, never none and never half of one.
bool swapIn(const QString& part, const QString& path)
{
    return std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

// Use is what keeps a file: the least recently used go first.
void touch(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
}

// What tells whether a kept media file changed on the server: "etag",
// "lastModified" as the server sent them, "sha256" of the body.
QJsonObject validators(const QString& mediaPath)
{
    QFile file(mediaPath + QStringLiteral(".meta"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

} // namespace

ScheduleCache::ScheduleCache(const QString& directory, qint64 maxSize, QObject* parent)
    : QObject(parent)
    , m_directory(directory)
    , m_maxSize(maxSize)
{
    if (m_maxSize <= 0)
        return;
    QDir dir(m_directory);
    dir.mkpath(QStringLiteral("."));
    // What a power cut interrupted is never complete: it goes.
    for (const QString& name : dir.entryList({ QStringLiteral("*.part") }, QDir::Files))
        dir.remove(name);
}

QString ScheduleCache::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/schedules");
}

qint64 ScheduleCache::maxSizeFromSettings(const QString& settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    bool ok = false;
    const qint64 size = settings.value(QStringLiteral("cache/maxSize"), defaultMaxSize).toLongLong(&ok);
    return ok ? size : defaultMaxSize;
}

QString ScheduleCache::pathFor(const QString& key, const QString& suffix) const
{
    return m_directory + QLatin1Char('/')
        + QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex()) + suffix;
}

bool ScheduleCache::write(const QString& path, const QByteArray& data)
{
    QFile part(path + QStringLiteral(".part"));
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate) || part.write(data) != data.size() || !part.flush()) {
        part.remove();
        return false;
    }
    part.close();
    return swapIn(part.fileName(), path);
}

bool ScheduleCache::storeDocument(const QString& address, const QByteArray& body)
{
    if (m_maxSize <= 0 || !write(pathFor(address, QStringLiteral(".json")), body))
        return false;
    evict();
    return true;
}

QByteArray ScheduleCache::document(const QString& address) const
{
    QFile file(pathFor(address, QStringLiteral(".json")));
    return m_maxSize > 0 && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ScheduleCache::localCopy(const QString& url) const
{
    if (m_maxSize <= 0)
        return QString();
    const QString path = pathFor(url, QStringLiteral(".media"));
    if (!QFile::exists(path))
        return QString();
    touch(path);
    return QUrl::fromLocalFile(path).toString();
}

void ScheduleCache::fetchMedia(const QStringList& urls)
{
    if (m_maxSize <= 0)
        return;
    for (const QString& url : urls) {
        if (!m_queue.contains(url) && url != m_target)
            m_queue.append(url);
    }
    if (!m_reply)
        downloadNext();
}

void ScheduleCache::downloadNext()
{
    if (m_queue.isEmpty())
        return;
    m_target = m_queue.takeFirst();
    const QString path = pathFor(m_target, QStringLiteral(".media"));
    m_part = new QFile(path + QStringLiteral(".part"), this);
    if (!m_part->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        delete m_part;
        m_part = nullptr;
        m_target.clear();
        return;
    }
    QNetworkRequest request { QUrl(m_target) };
    request.setTransferTimeout(60000);
    if (QFile::exists(path)) {
        const QJsonObject kept = validators(path);
        const QByteArray etag = kept.value(QLatin1String("etag")).toString().toLatin1();
        const QByteArray modified = kept.value(QLatin1String("lastModified")).toString().toLatin1();
        if (!etag.isEmpty())
            request.setRawHeader("If-None-Match", etag);
        if (!modified.isEmpty())
            request.setRawHeader("If-Modified-Since", modified);
    }
    m_hash.reset();
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        const QByteArray data = m_reply->readAll();
        m_part->write(data);
        m_hash.addData(data);
        if (m_part->size() > m_maxSize / 2)
            m_reply->abort();
    });
    connect(m_reply, &QNetworkReply::finished, this, &ScheduleCache::downloaded);
}

void ScheduleCache::downloaded()
{
    QNetworkReply* reply = m_reply;
    reply->deleteLater();
    const QByteArray rest = reply->readAll();
    m_part->write(rest);
    m_hash.addData(rest);
    const bool complete = reply->error() == QNetworkReply::NoError && m_part->flush();
    const bool unchanged = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 304;
    m_part->close();
    const QString path = pathFor(m_target, QStringLiteral(".media"));
    const QFileInfo kept(path);
    const QByteArray hash = m_hash.result().toHex();
    if (complete && !unchanged) {
        // A server without validators sends the whole file each time: only a body
        // that differs replaces the one playing.
        const bool same = kept.exists() && kept.size() == m_part->size()
            && validators(path).value(QLatin1String("sha256")).toString().toLatin1() == hash;
        if (same || swapIn(m_part->fileName(), path)) {
            const QJsonObject meta { { QStringLiteral("etag"), QString::fromLatin1(reply->rawHeader("ETag")) },
                { QStringLiteral("lastModified"), QString::fromLatin1(reply->rawHeader("Last-Modified")) },
                { QStringLiteral("sha256"), QString::fromLatin1(hash) } };
            write(path + QStringLiteral(".meta"), QJsonDocument(meta).toJson(QJsonDocument::Compact));
        }
    }
    // Unchanged, failed or swapped in: no ".part" stays behind.
    m_part->remove();
    if (kept.exists())
        touch(path);
    delete m_part;
    m_part = nullptr;
    m_target.clear();
    evict();
    downloadNext();
}

void ScheduleCache::evict()
{
    QFileInfoList files = QDir(m_directory).entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    qint64 total = 0;
    for (const QFileInfo& file : files)
        total += file.size();
    for (const QFileInfo& file : files) {
        if (total <= m_maxSize)
            break;
        if (file.suffix() == QLatin1String("part") || file.suffix() == QLatin1String("meta"))
            continue;
        // A sidecar goes with its file, first: a power cut in between leaves a file
        // that is downloaded again at its next check, never a sidecar nobody removes.
        const QFileInfo meta(file.filePath() + QStringLiteral(".meta"));
        if (meta.exists()) {
            total -= meta.size();
            QFile::remove(meta.filePath());
        }
        total -= file.size();
        QFile::remove(file.filePath());
    }
}
