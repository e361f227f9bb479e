#pragma once

#include <QObject>

#include "vlc_player.h"

// The player's input as seen from QML: what the media is and how it plays.
class QmlVlcInput : public QObject {
    Q_OBJECT
    Q_PROPERTY(double length READ get_length)
    Q_PROPERTY(double fps READ get_fps)
    Q_PROPERTY(double rate READ get_rate WRITE set_rate)

public:
    explicit QmlVlcInput(vlc::player_core& player)
        : m_player(player)
    {
    }

    double get_length() const { return double(m_player.playback().get_length()); }
    double get_fps() const { return m_player.playback().get_fps(); }
    double get_rate() const { return m_player.playback().get_rate(); }
    void set_rate(double rate) { m_player.playback().set_rate(float(rate)); }

private:
    vlc::player_core& m_player;
};
