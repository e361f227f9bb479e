// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QSize>
#include <QString>

#include "QmlVlcDeinterlace.h"
#include "QmlVlcLogo.h"
#include "QmlVlcMarquee.h"
#include "vlc_player.h"

// The player's video controls as seen from QML, with the marquee, logo and
// deinterlace objects as plain members. Nothing is cached: every read asks
// libvlc. GUI thread only.
class QmlVlcVideo : public QObject {
    Q_OBJECT
    Q_PROPERTY(unsigned width READ get_width)
    Q_PROPERTY(unsigned height READ get_height)
    Q_PROPERTY(unsigned count READ get_trackCount)
    Q_PROPERTY(int track READ get_track WRITE set_track)
    Q_PROPERTY(QString aspectRatio READ get_aspectRatio WRITE set_aspectRatio)
    Q_PROPERTY(QString crop READ get_crop WRITE set_crop)
    Q_PROPERTY(float contrast READ get_contrast WRITE set_contrast)
    Q_PROPERTY(float brightness READ get_brightness WRITE set_brightness)
    Q_PROPERTY(int hue READ get_hue WRITE set_hue)
    Q_PROPERTY(float saturation READ get_saturation WRITE set_saturation)
    Q_PROPERTY(float gamma READ get_gamma WRITE set_gamma)
    Q_PROPERTY(int teletext READ get_teletext WRITE set_teletext)
    Q_PROPERTY(QmlVlcMarquee* marquee READ get_marquee CONSTANT)
    Q_PROPERTY(QmlVlcLogo* logo READ get_logo CONSTANT)
    Q_PROPERTY(QmlVlcDeinterlace* deinterlace READ get_deinterlace CONSTANT)

public:
    explicit QmlVlcVideo(vlc::player_core* player)
        : m_player(player)
        , m_marquee(player)
        , m_logo(player)
        , m_deinterlace(player)
    {
    }

    // Each read runs the whole lookup, which may parse the media on this thread.
    unsigned get_width() const { return unsigned(size().width()); }
    unsigned get_height() const { return unsigned(size().height()); }
    unsigned get_trackCount() const { return m_player->video().track_count(); }
    int get_track() const { return m_player->video().get_track(); }
    void set_track(int idx);
    QString get_aspectRatio() const;
    void set_aspectRatio(const QString& ratio);
    QString get_crop() const;
    void set_crop(const QString& geometry);

    float get_contrast() const { return adjust(libvlc_adjust_Contrast, 1.f); }
    void set_contrast(float v) { m_player->video().set_ajust_filter_var(libvlc_adjust_Contrast, v); }
    float get_brightness() const { return adjust(libvlc_adjust_Brightness, 1.f); }
    void set_brightness(float v) { m_player->video().set_ajust_filter_var(libvlc_adjust_Brightness, v); }
    // libvlc 3.0 keeps the hue as a float and ignores its integer calls for it,
    // so whole degrees go through the float ones.
    int get_hue() const { return qRound(m_player->video().get_ajust_filter_var(libvlc_adjust_Hue, 0.f)); }
    void set_hue(int v) { m_player->video().set_ajust_filter_var(libvlc_adjust_Hue, float(v)); }
    float get_saturation() const { return adjust(libvlc_adjust_Saturation, 1.f); }
    void set_saturation(float v) { m_player->video().set_ajust_filter_var(libvlc_adjust_Saturation, v); }
    float get_gamma() const { return adjust(libvlc_adjust_Gamma, 1.f); }
    void set_gamma(float v) { m_player->video().set_ajust_filter_var(libvlc_adjust_Gamma, v); }

    int get_teletext() const;
    void set_teletext(int page);

    QmlVlcMarquee* get_marquee() { return &m_marquee; }
    QmlVlcLogo* get_logo() { return &m_logo; }
    QmlVlcDeinterlace* get_deinterlace() { return &m_deinterlace; }

    Q_INVOKABLE void toggleTeletext();

private:
    QSize size() const;
    float adjust(libvlc_video_adjust_option_t option, float def) const
    {
        return m_player->video().get_ajust_filter_var(option, def);
    }
    libvlc_media_player_t* mp() const { return m_player->basic_player().get_mp(); }

    vlc::player_core* m_player;
    QmlVlcMarquee m_marquee;
    QmlVlcLogo m_logo;
    QmlVlcDeinterlace m_deinterlace;
};
