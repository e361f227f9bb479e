#include "QmlVlcPlaylist.h"

#include "QmlVlcPlayerProxy.h"

QmlVlcPlaylist::QmlVlcPlaylist(QmlVlcPlayerProxy* owner)
    : m_owner(owner)
{
    player().set_playback_mode(vlc::mode_normal);
}

vlc::playlist_player_core& QmlVlcPlaylist::player() const { return m_owner->player(); }

unsigned QmlVlcPlaylist::get_itemCount() const { return player().item_count(); }

int QmlVlcPlaylist::get_currentItem() const { return player().current_item(); }

void QmlVlcPlaylist::set_currentItem(int index)
{
    if (index >= 0)
        player().set_current(unsigned(index));
}

QmlVlcPlaylist::Mode QmlVlcPlaylist::get_mode() const { return Mode(player().get_playback_mode()); }

void QmlVlcPlaylist::set_mode(Mode mode)
{
    if (mode == Single || mode == Normal || mode == Loop)
        player().set_playback_mode(vlc::playback_mode_e(mode));
}

int QmlVlcPlaylist::add(const QString& mrl)
{
    return player().add_media(mrl.toUtf8().constData(), 0, nullptr, 0, nullptr, false);
}
