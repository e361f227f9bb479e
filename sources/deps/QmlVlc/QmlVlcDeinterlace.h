#pragma once

#include <QObject>

#include "vlc_player.h"

// The video's deinterlace controls as seen from QML; owned by QmlVlcVideo.
class QmlVlcDeinterlace : public QObject {
    Q_OBJECT

public:
    explicit QmlVlcDeinterlace(vlc::player_core* player)
        : m_player(player)
    {
    }

protected:
    vlc::player_core* m_player;
};
