// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcLogo.h"

#include "QmlVlcPositions.h"

int QmlVlcLogo::get(libvlc_video_logo_option_t option) const
{
    libvlc_media_player_t* mp = m_player->basic_player().get_mp();
    return mp ? libvlc_video_get_logo_int(mp, option) : 0;
}

void QmlVlcLogo::set(libvlc_video_logo_option_t option, int value)
{
    if (libvlc_media_player_t* mp = m_player->basic_player().get_mp())
        libvlc_video_set_logo_int(mp, option, value);
}

QString QmlVlcLogo::get_position() const
{
    const int number = get(libvlc_logo_position);
    return number < 0 ? QString() : QmlGetPositionById(unsigned(number));
}

void QmlVlcLogo::set_position(const QString& position) { set(libvlc_logo_position, QmlGetIdByPosition(position)); }

void QmlVlcLogo::file(const QString& spec)
{
    if (libvlc_media_player_t* mp = m_player->basic_player().get_mp())
        libvlc_video_set_logo_string(mp, libvlc_logo_file, spec.toUtf8().constData());
}
