#include "ScheduleCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

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
    QFile::remove(path);
    return part.rename(path);
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
    QFile file(path);
    if (!file.exists())
        return QString();
    // Use is what keeps a file: the least recently used go first.
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return QUrl::fromLocalFile(path).toString();
}

void ScheduleCache::fetchMedia(const QStringList& urls)
{
    if (m_maxSize <= 0)
        return;
    for (const QString& url : urls) {
        if (!m_queue.contains(url) && url != m_target && localCopy(url).isEmpty())
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
    m_part = new QFile(pathFor(m_target, QStringLiteral(".media.part")), this);
    if (!m_part->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        delete m_part;
        m_part = nullptr;
        m_target.clear();
        return;
    }
    QNetworkRequest request { QUrl(m_target) };
    request.setTransferTimeout(60000);
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_part->write(m_reply->readAll());
        if (m_part->size() > m_maxSize / 2)
            m_reply->abort();
    });
    connect(m_reply, &QNetworkReply::finished, this, &ScheduleCache::downloaded);
}

void ScheduleCache::downloaded()
{
    QNetworkReply* reply = m_reply;
    reply->deleteLater();
    m_part->write(reply->readAll());
    const bool complete = reply->error() == QNetworkReply::NoError && m_part->flush();
    m_part->close();
    if (complete) {
        const QString path = pathFor(m_target, QStringLiteral(".media"));
        QFile::remove(path);
        m_part->rename(path);
    } else {
        m_part->remove();
    }
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
        if (file.suffix() == QLatin1String("part"))
            continue;
        total -= file.size();
        QFile::remove(file.filePath());
    }
}
