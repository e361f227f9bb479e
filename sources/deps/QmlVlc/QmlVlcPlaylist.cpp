// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcPlaylist.h"

#include <QQmlEngine>

#include <vector>

#include "QmlVlcConfig.h"
#include "QmlVlcPlayerProxy.h"

QmlVlcPlaylist::QmlVlcPlaylist(QmlVlcPlayerProxy* owner)
    : m_owner(owner)
{
    player().set_playback_mode(vlc::mode_normal);
}

vlc::playlist_player_core& QmlVlcPlaylist::player() const { return m_owner->player(); }

unsigned QmlVlcPlaylist::get_itemCount() const { return player().item_count(); }

bool QmlVlcPlaylist::get_isPlaying() const { return player().basic_player().get_state() == libvlc_Playing; }

int QmlVlcPlaylist::get_currentItem() const { return player().current_item(); }

void QmlVlcPlaylist::set_currentItem(int index)
{
    if (index >= 0)
        player().set_current(unsigned(index));
}

QmlVlcPlaylist::Mode QmlVlcPlaylist::get_mode() const { return Mode(player().get_playback_mode()); }

void QmlVlcPlaylist::set_mode(Mode mode)
{
    if (unsigned(mode) <= Loop)
        player().set_playback_mode(vlc::playback_mode_e(mode));
}

QQmlListProperty<QmlVlcMedia> QmlVlcPlaylist::get_items()
{
    return QQmlListProperty<QmlVlcMedia>(this, nullptr, nullptr, &itemsCount, &itemAt, &itemsClear);
}

int QmlVlcPlaylist::itemsCount(QQmlListProperty<QmlVlcMedia>* list)
{
    return int(static_cast<QmlVlcPlaylist*>(list->object)->get_itemCount());
}

QmlVlcMedia* QmlVlcPlaylist::itemAt(QQmlListProperty<QmlVlcMedia>* list, int index)
{
    auto* self = static_cast<QmlVlcPlaylist*>(list->object);
    auto* media = new QmlVlcMediaMedia(self->m_owner, self->player().get_media(unsigned(index)));
    QQmlEngine::setObjectOwnership(media, QQmlEngine::JavaScriptOwnership);
    return media;
}

void QmlVlcPlaylist::itemsClear(QQmlListProperty<QmlVlcMedia>* list)
{
    static_cast<QmlVlcPlaylist*>(list->object)->clear();
}

int QmlVlcPlaylist::add(const QString& mrl)
{
    return player().add_media(mrl.toUtf8().constData(), 0, nullptr, 0, nullptr, false);
}

int QmlVlcPlaylist::add(QmlVlcMedia* media)
{
    if (!media)
        return -1;
    return player().add_media(media->get_media());
}

int QmlVlcPlaylist::addWithOptions(const QString& mrl, const QStringList& options)
{
    // The encoded copies must outlive the call that reads their pointers.
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(options.size()));
    std::vector<const char*> trusted, untrusted;
    for (const QString& option : options) {
        encoded.push_back(option.toUtf8());
        (QmlVlcConfig::instance().isOptionTrusted(option) ? trusted : untrusted).push_back(encoded.back().constData());
    }
    return player().add_media(mrl.toUtf8().constData(), unsigned(untrusted.size()),
        untrusted.empty() ? nullptr : untrusted.data(), unsigned(trusted.size()),
        trusted.empty() ? nullptr : trusted.data(), false);
}

void QmlVlcPlaylist::play() { player().play(); }

bool QmlVlcPlaylist::playItem(unsigned idx) { return player().play(idx); }

void QmlVlcPlaylist::pause() { player().pause(); }

void QmlVlcPlaylist::togglePause()
{
    if (get_isPlaying())
        player().pause();
    else
        player().play();
}

void QmlVlcPlaylist::stop() { player().stop(); }

void QmlVlcPlaylist::next() { player().next(); }

void QmlVlcPlaylist::prev() { player().prev(); }

void QmlVlcPlaylist::clear() { player().clear_items(); }

bool QmlVlcPlaylist::removeItem(unsigned idx) { return player().delete_item(idx); }

void QmlVlcPlaylist::advanceItem(unsigned idx, int count) { player().advance_item(idx, count); }
