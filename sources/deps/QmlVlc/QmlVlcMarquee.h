#pragma once

#include <QObject>

#include "vlc_player.h"

// The video's marquee controls as seen from QML; owned by QmlVlcVideo.
class QmlVlcMarquee : public QObject {
    Q_OBJECT

public:
    explicit QmlVlcMarquee(vlc::player_core* player)
        : m_player(player)
    {
    }

protected:
    vlc::player_core* m_player;
};
