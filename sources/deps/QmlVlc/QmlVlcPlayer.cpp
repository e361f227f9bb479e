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

// GUI thread. Events off first, then the player closed (it requires that no
// listener remain), then the instance given back. The video output goes last
// with the base class: it stops libvlc's video thread before its frames go.
QmlVlcPlayer::~QmlVlcPlayer()
{
    classEnd();
    player().close();
    if (m_libvlc) {
        QmlVlcConfig::instance().releaseLibvlcInstance(m_libvlc);
        m_libvlc = nullptr;
    }
}
