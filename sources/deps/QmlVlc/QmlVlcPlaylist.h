#pragma once

#include <QObject>
#include <QString>

#include "vlc_player.h"

class QmlVlcPlayerProxy;

// The player's playlist as seen from QML. A new player advances through its
// list (Normal); Single plays one item and stops there.
class QmlVlcPlaylist : public QObject {
    Q_OBJECT
    Q_PROPERTY(unsigned itemCount READ get_itemCount)
    Q_PROPERTY(int currentItem READ get_currentItem WRITE set_currentItem NOTIFY currentItemChanged)
    Q_PROPERTY(Mode mode READ get_mode WRITE set_mode)

public:
    enum Mode {
        Single = vlc::mode_single,
        Normal = vlc::mode_normal,
        Loop = vlc::mode_loop,
    };
    Q_ENUM(Mode)

    explicit QmlVlcPlaylist(QmlVlcPlayerProxy* owner);

    unsigned get_itemCount() const;
    int get_currentItem() const;
    void set_currentItem(int index);
    Mode get_mode() const;
    void set_mode(Mode mode);

    // Appends an item; its index, or -1 when the player refuses it.
    Q_INVOKABLE int add(const QString& mrl);

signals:
    // Emitted by the player when libvlc reports a change of media.
    void currentItemChanged();

private:
    vlc::playlist_player_core& player() const;

    QmlVlcPlayerProxy* m_owner;
};
