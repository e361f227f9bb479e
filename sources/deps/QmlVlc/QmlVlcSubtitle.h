// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "vlc_player.h"

class QNetworkReply;
class QTemporaryDir;
class QTemporaryFile;

// The player's subtitles as seen from QML, and extra subtitle files loaded for
// the media now playing: local files are used in place; downloads and text
// given in memory become files in a temporary directory that lives until the
// media changes (eraseLoaded, connected by the player). GUI thread only; the
// download's signals arrive through the event loop.
class QmlVlcSubtitle : public QObject {
    Q_OBJECT
    Q_PROPERTY(unsigned count READ get_trackCount)
    Q_PROPERTY(int track READ get_track WRITE set_track)
    Q_PROPERTY(int delay READ get_delay WRITE set_delay)

public:
    enum Type {
        Microdvd = 0,
        Subrip = 1,
        Dks = 16,
        Vtt = 18,
    };
    Q_ENUM(Type)

    // Loads per media, counting downloads and in-memory text but not local files.
    static constexpr int maxLoads = 30;
    static constexpr qint64 maxSize = 1024 * 1024;

    explicit QmlVlcSubtitle(vlc::player_core& player);
    ~QmlVlcSubtitle() override;

    unsigned get_trackCount() const;
    int get_track() const { return m_player.subtitles().get_track(); }
    void set_track(int idx);
    int get_delay() const { return int(m_player.subtitles().get_delay()); }
    void set_delay(int ms) { m_player.subtitles().set_delay(ms); }

    Q_INVOKABLE QString description(unsigned idx) const;
    // Reports once through loadFinished or loadError; ignored while a download
    // is still running.
    Q_INVOKABLE void load(const QUrl& url);
    Q_INVOKABLE bool loadFromString(const QByteArray& subtitles, Type type);

    // The file extension libvlc recognises the type by; empty for an unknown type.
    static QString GetExtension(int type);

public slots:
    void eraseLoaded();

signals:
    void loadFinished();
    void loadError();

private slots:
    void networkDataReady();
    void downloadFinished();

private:
    bool ensureTempDir();
    bool loadTempFile(QTemporaryFile& file);

    vlc::player_core& m_player;
    QNetworkAccessManager m_network;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    std::unique_ptr<QTemporaryFile> m_subtitleFile;
    int m_loaded = 0;
};
