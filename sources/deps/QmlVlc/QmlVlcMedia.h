// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "vlc_media.h"

class QmlVlcPlayerProxy;

// Describes one media to QML (type VlcMediaDesc): its metadata, and the two
// values the playlist keeps beside the item that holds it. Objects may outlive
// their player (QML owns those made by the playlist's items); they then
// describe an empty media and ignore writes. GUI thread only.
class QmlVlcMedia : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ get_title WRITE set_title NOTIFY titleChanged)
    Q_PROPERTY(QString artist READ get_artist)
    Q_PROPERTY(QString genre READ get_genre)
    Q_PROPERTY(QString copyright READ get_copyright)
    Q_PROPERTY(QString album READ get_album)
    Q_PROPERTY(QString trackNumber READ get_trackNumber)
    Q_PROPERTY(QString description READ get_description)
    Q_PROPERTY(QString rating READ get_rating)
    Q_PROPERTY(QString date READ get_date)
    Q_PROPERTY(QString URL READ get_URL)
    Q_PROPERTY(QString language READ get_language)
    Q_PROPERTY(QString nowPlaying READ get_nowPlaying)
    Q_PROPERTY(QString publisher READ get_publisher)
    Q_PROPERTY(QString encodedBy READ get_encodedBy)
    Q_PROPERTY(QString artworkURL READ get_artworkURL)
    Q_PROPERTY(QString trackID READ get_trackID)
    Q_PROPERTY(QString mrl READ get_mrl)
    Q_PROPERTY(QString setting READ get_setting WRITE set_setting)
    Q_PROPERTY(bool disabled READ get_disabled WRITE set_disabled)

public:
    QString get_title() const { return meta(libvlc_meta_Title); }
    void set_title(const QString& title);
    QString get_artist() const { return meta(libvlc_meta_Artist); }
    QString get_genre() const { return meta(libvlc_meta_Genre); }
    QString get_copyright() const { return meta(libvlc_meta_Copyright); }
    QString get_album() const { return meta(libvlc_meta_Album); }
    QString get_trackNumber() const { return meta(libvlc_meta_TrackNumber); }
    QString get_description() const { return meta(libvlc_meta_Description); }
    QString get_rating() const { return meta(libvlc_meta_Rating); }
    QString get_date() const { return meta(libvlc_meta_Date); }
    QString get_URL() const { return meta(libvlc_meta_URL); }
    QString get_language() const { return meta(libvlc_meta_Language); }
    QString get_nowPlaying() const { return meta(libvlc_meta_NowPlaying); }
    QString get_publisher() const { return meta(libvlc_meta_Publisher); }
    QString get_encodedBy() const { return meta(libvlc_meta_EncodedBy); }
    QString get_artworkURL() const { return meta(libvlc_meta_ArtworkURL); }
    QString get_trackID() const { return meta(libvlc_meta_TrackID); }
    QString get_mrl() const { return QString::fromStdString(get_media().mrl()); }

    QString get_setting() const;
    void set_setting(const QString& setting);
    bool get_disabled() const;
    void set_disabled(bool disabled);

    virtual vlc::media get_media() const = 0;

signals:
    void titleChanged();

protected:
    explicit QmlVlcMedia(QmlVlcPlayerProxy* owner);

    QPointer<QmlVlcPlayerProxy> m_owner;

private:
    QString meta(libvlc_meta_t key) const { return QString::fromStdString(get_media().meta(key)); }
    // The playlist index of the item holding this media; -1 when it is not in
    // the list or the player is gone.
    int itemIndex() const;
};

// The media the player is playing now (the player's mediaDescription).
class QmlVlcCurrentMedia : public QmlVlcMedia {
    Q_OBJECT

public:
    explicit QmlVlcCurrentMedia(QmlVlcPlayerProxy* owner)
        : QmlVlcMedia(owner)
    {
    }

    vlc::media get_media() const override;
};

// One media of the playlist, as handed out by the playlist's items.
class QmlVlcMediaMedia : public QmlVlcMedia {
    Q_OBJECT

public:
    QmlVlcMediaMedia(QmlVlcPlayerProxy* owner, const vlc::media& media)
        : QmlVlcMedia(owner)
        , m_media(media)
    {
    }

    vlc::media get_media() const override;

private:
    vlc::media m_media;
};
