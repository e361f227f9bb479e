// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcPlayer.h"

#include <QtGlobal>

#include "QmlVlcConfig.h"

QmlVlcPlayer::QmlVlcPlayer(QObject* parent)
    : QmlVlcPlayerProxy(std::make_shared<vlc::player>(), parent)
{
    m_libvlc = QmlVlcConfig::instance().createLibvlcInstance();
    if (!m_libvlc)
        qCritical("Couldn't create libvlc instance. Check vlc plugins dir.");
    else if (!player().open(m_libvlc))
        qCritical("Couldn't create libvlc media player.");
}

// GUI thread. Events off first, then the instance given back (the media
// player holds its own reference). The player is not stopped here: the video
// output, which goes last with the base class, holds the last reference to it
// and is deleted off the GUI thread, where the stop and release happen.
QmlVlcPlayer::~QmlVlcPlayer()
{
    classEnd();
    if (m_libvlc) {
        QmlVlcConfig::instance().releaseLibvlcInstance(m_libvlc);
        m_libvlc = nullptr;
    }
}
