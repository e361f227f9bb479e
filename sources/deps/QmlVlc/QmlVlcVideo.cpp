// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideo.h"

#include "vlc_helpers.h"

// The output's size once a picture is out; before that the size the media's
// tracks announce, so that QML can lay out before the first frame.
QSize QmlVlcVideo::size() const
{
    libvlc_media_player_t* player = mp();
    if (!player)
        return QSize(0, 0);
    unsigned w = 0, h = 0;
    vlc::media m(libvlc_media_player_get_media(player), false);
    if (m.empty()) {
        if (libvlc_video_get_size(player, 0, &w, &h) != 0)
            w = h = 0;
        return QSize(int(w), int(h));
    }
    if (!m.is_parsed())
        m.parse();
    if (libvlc_video_get_size(player, 0, &w, &h) == 0 && w && h)
        return QSize(int(w), int(h));

    QSize found(0, 0);
    libvlc_media_track_t** tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(m.libvlc_media(), &tracks);
    for (unsigned i = 0; i < count; ++i) {
        const libvlc_media_track_t* t = tracks[i];
        if (t->i_type == libvlc_track_video && t->video && t->video->i_width && t->video->i_height) {
            found = QSize(int(t->video->i_width), int(t->video->i_height));
            break;
        }
    }
    if (tracks)
        libvlc_media_tracks_release(tracks, count);
    return found;
}

void QmlVlcVideo::set_track(int idx)
{
    if (idx >= 0)
        m_player->video().set_track(unsigned(idx));
}

QString QmlVlcVideo::get_aspectRatio() const
{
    if (!mp())
        return QString();
    return QString::fromStdString(vlc::take_libvlc_string(libvlc_video_get_aspect_ratio(mp())));
}

void QmlVlcVideo::set_aspectRatio(const QString& ratio)
{
    if (mp())
        libvlc_video_set_aspect_ratio(mp(), ratio.toLatin1().constData());
}

QString QmlVlcVideo::get_crop() const
{
    if (!mp())
        return QString();
    return QString::fromStdString(vlc::take_libvlc_string(libvlc_video_get_crop_geometry(mp())));
}

void QmlVlcVideo::set_crop(const QString& geometry)
{
    if (mp())
        libvlc_video_set_crop_geometry(mp(), geometry.toLatin1().constData());
}

int QmlVlcVideo::get_teletext() const { return mp() ? libvlc_video_get_teletext(mp()) : 0; }

void QmlVlcVideo::set_teletext(int page)
{
    if (mp())
        libvlc_video_set_teletext(mp(), unsigned(page));
}

// libvlc 3.0 keeps the 2.x toggle, deprecated in favour of setting a page.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void QmlVlcVideo::toggleTeletext()
{
    if (mp())
        libvlc_toggle_teletext(mp());
}
#pragma GCC diagnostic pop
