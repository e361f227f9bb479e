// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcSubtitle.h"

#include "vlc_helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTemporaryFile>

namespace {

// What may follow "url-sub-XXXXXX." in a downloaded file's name. Anything else
// from the address (separators, dots, a name too long for the file system) is
// dropped, and libvlc then probes the content instead of trusting the name.
QString safeSuffix(const QString& suffix)
{
    if (suffix.isEmpty() || suffix.size() > 16)
        return QString();
    for (const QChar c : suffix) {
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return QString();
    }
    return suffix;
}

} // namespace

QmlVlcSubtitle::QmlVlcSubtitle(vlc::player_core& player)
    : m_player(player)
{
}

// The files handed to the player go with the directory; a download still
// running is dropped with the network manager.
QmlVlcSubtitle::~QmlVlcSubtitle()
{
    if (m_reply)
        m_reply->disconnect(this);
    m_subtitleFile.reset();
    m_tempDir.reset();
}

unsigned QmlVlcSubtitle::get_trackCount() const
{
    const int count = m_player.subtitles().track_count();
    return count < 0 ? 0 : unsigned(count);
}

void QmlVlcSubtitle::set_track(int idx)
{
    if (idx >= 0)
        m_player.subtitles().set_track(unsigned(idx));
}

QString QmlVlcSubtitle::description(unsigned idx) const
{
    libvlc_media_player_t* mp = m_player.basic_player().get_mp();
    if (!mp)
        return QString();
    const int count = libvlc_video_get_spu_count(mp);
    return QString::fromStdString(
        vlc::take_track_name(libvlc_video_get_spu_description(mp), idx, count > 0 ? unsigned(count) : 0));
}

QString QmlVlcSubtitle::GetExtension(int type)
{
    switch (type) {
    case Microdvd:
        return QStringLiteral("sub");
    case Subrip:
        return QStringLiteral("srt");
    case Dks:
        return QStringLiteral("dks");
    case Vtt:
        return QStringLiteral("vtt");
    default:
        return QString();
    }
}

bool QmlVlcSubtitle::ensureTempDir()
{
    if (!m_tempDir)
        m_tempDir = std::make_unique<QTemporaryDir>();
    return m_tempDir->isValid();
}

// The file stays on disk for the player once libvlc has it.
bool QmlVlcSubtitle::loadTempFile(QTemporaryFile& file)
{
    const QByteArray path = QDir::toNativeSeparators(file.fileName()).toUtf8();
    if (!m_player.subtitles().load(path.toStdString()))
        return false;
    file.setAutoRemove(false);
    ++m_loaded;
    return true;
}

void QmlVlcSubtitle::load(const QUrl& url)
{
    if (m_reply)
        return;
    if (m_loaded >= maxLoads) {
        emit loadError();
        return;
    }
    if (url.isLocalFile()) {
        const QByteArray path = QDir::toNativeSeparators(url.toLocalFile()).toUtf8();
        if (m_player.subtitles().load(path.toStdString()))
            emit loadFinished();
        else
            emit loadError();
        return;
    }
    if (!ensureTempDir()) {
        emit loadError();
        return;
    }
    auto file = std::make_unique<QTemporaryFile>(m_tempDir->path() + QDir::separator() + "url-sub-XXXXXX");
    if (!file->open()) {
        emit loadError();
        return;
    }
    m_subtitleFile = std::move(file);
    m_reply = m_network.get(QNetworkRequest(url));
    m_reply->setReadBufferSize(4096);
    connect(m_reply, &QNetworkReply::readyRead, this, &QmlVlcSubtitle::networkDataReady);
    connect(m_reply, &QNetworkReply::finished, this, &QmlVlcSubtitle::downloadFinished);
}

void QmlVlcSubtitle::networkDataReady()
{
    if (!m_reply || !m_subtitleFile)
        return;
    m_subtitleFile->write(m_reply->readAll());
    // Checked after the write, so that a last chunk cannot carry it over.
    if (m_subtitleFile->size() > maxSize - 1)
        m_reply->abort(); // finishes the reply with an error at once
}

void QmlVlcSubtitle::downloadFinished()
{
    if (!m_reply)
        return;
    bool ok = false;
    if (m_reply->error() == QNetworkReply::NoError && m_subtitleFile) {
        // libvlc tells the format by the extension, so the address's is kept.
        const QString name = m_reply->url().fileName(QUrl::FullyDecoded);
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        const QString suffix = dot < 0 ? QString() : safeSuffix(name.mid(dot + 1));
        m_subtitleFile->flush();
        ok = m_subtitleFile->rename(m_subtitleFile->fileName() + QLatin1Char('.') + suffix)
            && QFileInfo(m_subtitleFile->fileName()).absolutePath() == QFileInfo(m_tempDir->path()).absoluteFilePath()
            && loadTempFile(*m_subtitleFile);
    }
    m_reply->deleteLater();
    m_reply = nullptr;
    m_subtitleFile.reset();
    if (ok)
        emit loadFinished();
    else
        emit loadError();
}

bool QmlVlcSubtitle::loadFromString(const QByteArray& subtitles, Type type)
{
    const QString extension = GetExtension(type);
    if (m_loaded >= maxLoads || extension.isEmpty() || subtitles.size() > maxSize)
        return false;
    if (!ensureTempDir())
        return false;
    QTemporaryFile file(m_tempDir->path() + QDir::separator() + "str-sub-XXXXXX." + extension);
    if (!file.open() || file.write(subtitles) <= 0)
        return false;
    file.flush();
    return loadTempFile(file);
}

void QmlVlcSubtitle::eraseLoaded()
{
    // The abort finishes the reply at once: downloadFinished reports the error
    // and drops the reply and its file.
    if (m_reply)
        m_reply->abort();
    m_subtitleFile.reset();
    m_tempDir.reset();
    m_loaded = 0;
}
