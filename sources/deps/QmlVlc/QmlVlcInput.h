// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

#include "vlc_player.h"

// The player's input as seen from QML: what the media is and how it plays.
// Changes are reported by the player's own signals. GUI thread only.
class QmlVlcInput : public QObject {
    Q_OBJECT
    Q_PROPERTY(double length READ get_length)
    Q_PROPERTY(double fps READ get_fps)
    Q_PROPERTY(bool hasVout READ get_hasVout)
    Q_PROPERTY(unsigned state READ get_state)
    Q_PROPERTY(double position READ get_position WRITE set_position)
    Q_PROPERTY(double time READ get_time WRITE set_time)
    Q_PROPERTY(double rate READ get_rate WRITE set_rate)
    Q_PROPERTY(unsigned titleCount READ get_titleCount)
    Q_PROPERTY(int title READ get_title WRITE set_title)
    Q_PROPERTY(unsigned chapterCount READ get_chapterCount)
    Q_PROPERTY(int chapter READ get_chapter WRITE set_chapter)

public:
    explicit QmlVlcInput(vlc::player_core& player)
        : m_player(player)
    {
    }

    double get_length() const { return double(m_player.playback().get_length()); }
    double get_fps() const { return m_player.playback().get_fps(); }
    bool get_hasVout() const { return m_player.video().has_vout(); }
    unsigned get_state() const { return unsigned(m_player.basic_player().get_state()); }
    double get_position() const { return m_player.playback().get_position(); }
    void set_position(double position) { m_player.playback().set_position(float(position)); }
    double get_time() const { return double(m_player.playback().get_time()); }
    // Truncated toward zero: 1500.9 seeks to 1500 ms.
    void set_time(double ms) { m_player.playback().set_time(int64_t(ms)); }
    double get_rate() const { return m_player.playback().get_rate(); }
    void set_rate(double rate) { m_player.playback().set_rate(float(rate)); }

    unsigned get_titleCount() const;
    int get_title() const;
    void set_title(int title);
    unsigned get_chapterCount() const;
    int get_chapter() const;
    void set_chapter(int chapter);

    Q_INVOKABLE void prevChapter();
    Q_INVOKABLE void nextChapter();

private:
    libvlc_media_player_t* mp() const { return m_player.basic_player().get_mp(); }

    vlc::player_core& m_player;
};
