// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include "vlc_player.h"

// The video's logo as seen from QML; owned by QmlVlcVideo. Every member is one
// libvlc logo option of the player's handle.
class QmlVlcLogo : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString position READ get_position WRITE set_position)
    Q_PROPERTY(unsigned opacity READ get_opacity WRITE set_opacity)
    Q_PROPERTY(unsigned delay READ get_delay WRITE set_delay)
    Q_PROPERTY(int repeat READ get_repeat WRITE set_repeat)
    Q_PROPERTY(unsigned x READ get_x WRITE set_x)
    Q_PROPERTY(unsigned y READ get_y WRITE set_y)

public:
    explicit QmlVlcLogo(vlc::player_core* player)
        : m_player(player)
    {
    }

    QString get_position() const;
    void set_position(const QString& position);
    unsigned get_opacity() const { return unsigned(get(libvlc_logo_opacity)); }
    void set_opacity(unsigned opacity) { set(libvlc_logo_opacity, int(opacity)); }
    unsigned get_delay() const { return unsigned(get(libvlc_logo_delay)); }
    void set_delay(unsigned delay) { set(libvlc_logo_delay, int(delay)); }
    int get_repeat() const { return get(libvlc_logo_repeat); }
    void set_repeat(int repeat) { set(libvlc_logo_repeat, repeat); }
    unsigned get_x() const { return unsigned(get(libvlc_logo_x)); }
    void set_x(unsigned x) { set(libvlc_logo_x, int(x)); }
    unsigned get_y() const { return unsigned(get(libvlc_logo_y)); }
    void set_y(unsigned y) { set(libvlc_logo_y, int(y)); }

    Q_INVOKABLE void enable() { set(libvlc_logo_enable, 1); }
    Q_INVOKABLE void disable() { set(libvlc_logo_enable, 0); }
    // Sets libvlc's logo file list; libvlc offers no way to read it back.
    Q_INVOKABLE void file(const QString& spec);

protected:
    int get(libvlc_video_logo_option_t option) const;
    void set(libvlc_video_logo_option_t option, int value);

    vlc::player_core* m_player;
};
