#pragma once

#include <QObject>

#include "vlc_player.h"

// The player's subtitles as seen from QML. Subtitles loaded for one media are
// discarded when the media changes (eraseLoaded, connected by the player).
class QmlVlcSubtitle : public QObject {
    Q_OBJECT
    Q_PROPERTY(int count READ get_trackCount)

public:
    explicit QmlVlcSubtitle(vlc::player_core& player)
        : m_player(player)
    {
    }

    int get_trackCount() const { return m_player.subtitles().track_count(); }

public slots:
    void eraseLoaded() { }

private:
    vlc::player_core& m_player;
};
