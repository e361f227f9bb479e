#pragma once

#include <QObject>

#include "QmlVlcDeinterlace.h"
#include "QmlVlcLogo.h"
#include "QmlVlcMarquee.h"
#include "vlc_player.h"

// The player's video controls as seen from QML, with the marquee, logo and
// deinterlace objects as plain members.
class QmlVlcVideo : public QObject {
    Q_OBJECT
    Q_PROPERTY(unsigned width READ get_width)
    Q_PROPERTY(unsigned height READ get_height)
    Q_PROPERTY(QmlVlcMarquee* marquee READ get_marquee CONSTANT)
    Q_PROPERTY(QmlVlcLogo* logo READ get_logo CONSTANT)
    Q_PROPERTY(QmlVlcDeinterlace* deinterlace READ get_deinterlace CONSTANT)

public:
    explicit QmlVlcVideo(vlc::player_core* player)
        : m_player(player)
        , m_marquee(player)
        , m_logo(player)
        , m_deinterlace(player)
    {
    }

    unsigned get_width() const;
    unsigned get_height() const;
    QmlVlcMarquee* get_marquee() { return &m_marquee; }
    QmlVlcLogo* get_logo() { return &m_logo; }
    QmlVlcDeinterlace* get_deinterlace() { return &m_deinterlace; }

private:
    vlc::player_core* m_player;
    QmlVlcMarquee m_marquee;
    QmlVlcLogo m_logo;
    QmlVlcDeinterlace m_deinterlace;
};
