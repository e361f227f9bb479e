#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QFile;
class QNetworkReply;

// The last document of each schedule address and the images and videos it names,
// on disk under the user's cache location, so that a screen whose server cannot
// be reached plays what it played before. Lives on the GUI thread, owned by the
// schedule source.
//
// Every file is written beside its final name as ".part" and renamed once
// complete: a power cut leaves at most a ".part" file, which the next start
// removes, never a half file under a name that is played. The directory is kept
// under a size limit by removing the files used least recently.
class ScheduleCache : public QObject {
    Q_OBJECT

public:
    explicit ScheduleCache(const QString& directory, qint64 maxSize, QObject* parent = nullptr);

    static constexpr qint64 defaultMaxSize = qint64(1) << 30;
    // The directory under the user's cache location, and "maxSize" (bytes) in the
    // "cache" group of the settings file; 0 turns the cache off.
    static QString defaultDirectory();
    static qint64 maxSizeFromSettings(const QString& settingsFile = QStringLiteral("player.ini"));

    bool storeDocument(const QString& address, const QByteArray& body);
    QByteArray document(const QString& address) const;
    // Downloads, one after the other, the media named by `urls` that are not kept yet.
    void fetchMedia(const QStringList& urls);
    // The local file URL of `url` when it is kept, else an empty string.
    QString localCopy(const QString& url) const;

private:
    QString pathFor(const QString& key, const QString& suffix) const;
    bool write(const QString& path, const QByteArray& data);
    void downloadNext();
    void downloaded();
    void evict();

    QString m_directory;
    qint64 m_maxSize;
    QNetworkAccessManager m_network;
    QStringList m_queue;
    QPointer<QNetworkReply> m_reply;
    QFile* m_part = nullptr;
    QString m_target;
};
