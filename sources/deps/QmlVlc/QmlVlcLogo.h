#pragma once

#include <QObject>

#include "vlc_player.h"

// The video's logo controls as seen from QML; owned by QmlVlcVideo.
class QmlVlcLogo : public QObject {
    Q_OBJECT

public:
    explicit QmlVlcLogo(vlc::player_core* player)
        : m_player(player)
    {
    }

protected:
    vlc::player_core* m_player;
};
