#include "QmlVlcVideo.h"

unsigned QmlVlcVideo::get_width() const
{
    unsigned w = 0, h = 0;
    libvlc_media_player_t* mp = m_player->basic_player().get_mp();
    if (mp && libvlc_video_get_size(mp, 0, &w, &h) != 0)
        w = 0;
    return w;
}

unsigned QmlVlcVideo::get_height() const
{
    unsigned w = 0, h = 0;
    libvlc_media_player_t* mp = m_player->basic_player().get_mp();
    if (mp && libvlc_video_get_size(mp, 0, &w, &h) != 0)
        h = 0;
    return h;
}
