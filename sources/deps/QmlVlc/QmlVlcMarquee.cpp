// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcMarquee.h"

#include "QmlVlcPositions.h"
#include "vlc_helpers.h"

// The player keeps its handle open for its whole life; the guards only keep a
// player that could not open (no libvlc instance) from crashing.
int QmlVlcMarquee::get(libvlc_video_marquee_option_t option) const
{
    libvlc_media_player_t* mp = m_player->basic_player().get_mp();
    return mp ? libvlc_video_get_marquee_int(mp, option) : 0;
}

void QmlVlcMarquee::set(libvlc_video_marquee_option_t option, int value)
{
    if (libvlc_media_player_t* mp = m_player->basic_player().get_mp())
        libvlc_video_set_marquee_int(mp, option, value);
}

QString QmlVlcMarquee::get_text() const
{
    libvlc_media_player_t* mp = m_player->basic_player().get_mp();
    if (!mp)
        return QString();
    return QString::fromStdString(vlc::take_libvlc_string(libvlc_video_get_marquee_string(mp, libvlc_marquee_Text)));
}

void QmlVlcMarquee::set_text(const QString& text)
{
    if (libvlc_media_player_t* mp = m_player->basic_player().get_mp())
        libvlc_video_set_marquee_string(mp, libvlc_marquee_Text, text.toUtf8().constData());
}

QString QmlVlcMarquee::get_position() const
{
    const int number = get(libvlc_marquee_Position);
    return number < 0 ? QString() : QmlGetPositionById(unsigned(number));
}

void QmlVlcMarquee::set_position(const QString& position)
{
    set(libvlc_marquee_Position, QmlGetIdByPosition(position));
}
