// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include "vlc_player.h"

// The video's deinterlacing as seen from QML; owned by QmlVlcVideo. The mode
// names are libvlc's and are not checked here.
class QmlVlcDeinterlace : public QObject {
    Q_OBJECT

public:
    explicit QmlVlcDeinterlace(vlc::player_core* player)
        : m_player(player)
    {
    }

    Q_INVOKABLE void enable(const QString& mode) { set(mode.toLatin1()); }
    // libvlc takes an empty mode as "off".
    Q_INVOKABLE void disable() { set(QByteArray("")); }

protected:
    void set(const QByteArray& mode)
    {
        if (libvlc_media_player_t* mp = m_player->basic_player().get_mp())
            libvlc_video_set_deinterlace(mp, mode.constData());
    }

    vlc::player_core* m_player;
};
