// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcMediaListPlayer.h"

#include <QtGlobal>

#include "QmlVlcConfig.h"

QmlVlcMediaListPlayer::QmlVlcMediaListPlayer(QObject* parent)
    : QmlVlcMediaListPlayerProxy(std::make_shared<vlc::media_list_player>(), parent)
{
    // Opened before classBegin registers the listener: the media list must
    // exist when the list's events are attached.
    m_libvlc = QmlVlcConfig::instance().createLibvlcInstance();
    if (!m_libvlc)
        qCritical("Couldn't create libvlc instance. Check vlc plugins dir.");
    else if (!player().open(m_libvlc))
        qCritical("Couldn't create libvlc media player.");
}

// Same order as QmlVlcPlayer: events off, close, instance back.
QmlVlcMediaListPlayer::~QmlVlcMediaListPlayer()
{
    classEnd();
    player().close();
    if (m_libvlc) {
        QmlVlcConfig::instance().releaseLibvlcInstance(m_libvlc);
        m_libvlc = nullptr;
    }
}
