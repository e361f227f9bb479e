// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
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
//
// A kept image or video is checked again at each fetch of a document naming it:
// its ETag and Last-Modified (or, from a server that gives neither, its size and
// hash) sit in a ".meta" sidecar beside it and make the request conditional. A
// changed file is downloaded beside the kept one, which plays until the new one
// replaces it in a single rename; any failure leaves the kept one in place.
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
    // Downloads, one after the other, the media named by `urls`; those kept already
    // are only checked for a change.
    void fetchMedia(const QStringList& urls);
    // A download or check is under way or waiting.
    bool busy() const { return !m_reply.isNull() || !m_queue.isEmpty(); }
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
    QCryptographicHash m_hash { QCryptographicHash::Sha256 };
    QString m_target;
};
