// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include "vlc_player.h"

// The video's marquee as seen from QML; owned by QmlVlcVideo. Every property is
// one libvlc marquee option of the player's handle, read back from libvlc.
class QmlVlcMarquee : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text READ get_text WRITE set_text)
    Q_PROPERTY(unsigned color READ get_color WRITE set_color)
    Q_PROPERTY(unsigned opacity READ get_opacity WRITE set_opacity)
    Q_PROPERTY(QString position READ get_position WRITE set_position)
    Q_PROPERTY(unsigned refresh READ get_refresh WRITE set_refresh)
    Q_PROPERTY(unsigned size READ get_size WRITE set_size)
    Q_PROPERTY(unsigned timeout READ get_timeout WRITE set_timeout)
    Q_PROPERTY(unsigned x READ get_x WRITE set_x)
    Q_PROPERTY(unsigned y READ get_y WRITE set_y)

public:
    explicit QmlVlcMarquee(vlc::player_core* player)
        : m_player(player)
    {
    }

    QString get_text() const;
    void set_text(const QString& text);
    unsigned get_color() const { return unsigned(get(libvlc_marquee_Color)); }
    void set_color(unsigned color) { set(libvlc_marquee_Color, int(color)); }
    unsigned get_opacity() const { return unsigned(get(libvlc_marquee_Opacity)); }
    void set_opacity(unsigned opacity) { set(libvlc_marquee_Opacity, int(opacity)); }
    QString get_position() const;
    void set_position(const QString& position);
    unsigned get_refresh() const { return unsigned(get(libvlc_marquee_Refresh)); }
    void set_refresh(unsigned refresh) { set(libvlc_marquee_Refresh, int(refresh)); }
    unsigned get_size() const { return unsigned(get(libvlc_marquee_Size)); }
    void set_size(unsigned size) { set(libvlc_marquee_Size, int(size)); }
    unsigned get_timeout() const { return unsigned(get(libvlc_marquee_Timeout)); }
    void set_timeout(unsigned timeout) { set(libvlc_marquee_Timeout, int(timeout)); }
    unsigned get_x() const { return unsigned(get(libvlc_marquee_X)); }
    void set_x(unsigned x) { set(libvlc_marquee_X, int(x)); }
    unsigned get_y() const { return unsigned(get(libvlc_marquee_Y)); }
    void set_y(unsigned y) { set(libvlc_marquee_Y, int(y)); }

    Q_INVOKABLE void enable() { set(libvlc_marquee_Enable, 1); }
    Q_INVOKABLE void disable() { set(libvlc_marquee_Enable, 0); }

protected:
    int get(libvlc_video_marquee_option_t option) const;
    void set(libvlc_video_marquee_option_t option, int value);

    vlc::player_core* m_player;
};
