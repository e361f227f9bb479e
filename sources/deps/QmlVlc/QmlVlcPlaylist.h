// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QQmlListProperty>
#include <QString>
#include <QStringList>

#include "QmlVlcMedia.h"
#include "vlc_player.h"

class QmlVlcPlayerProxy;

// The player's playlist as seen from QML. A new player advances through its
// list (Normal); Single plays one item and stops there. GUI thread only.
class QmlVlcPlaylist : public QObject {
    Q_OBJECT
    Q_PROPERTY(unsigned itemCount READ get_itemCount)
    Q_PROPERTY(bool isPlaying READ get_isPlaying)
    Q_PROPERTY(int currentItem READ get_currentItem WRITE set_currentItem NOTIFY currentItemChanged)
    Q_PROPERTY(Mode mode READ get_mode WRITE set_mode)
    Q_PROPERTY(QQmlListProperty<QmlVlcMedia> items READ get_items)

public:
    enum Mode {
        Single = vlc::mode_single,
        Normal = vlc::mode_normal,
        Loop = vlc::mode_loop,
    };
    Q_ENUM(Mode)

    explicit QmlVlcPlaylist(QmlVlcPlayerProxy* owner);

    unsigned get_itemCount() const;
    bool get_isPlaying() const;
    int get_currentItem() const;
    void set_currentItem(int index);
    Mode get_mode() const;
    void set_mode(Mode mode);
    // Each element read makes a new object that QML owns.
    QQmlListProperty<QmlVlcMedia> get_items();

    // The add methods return the new item's index, or -1 when it is refused.
    Q_INVOKABLE int add(const QString& mrl);
    Q_INVOKABLE int add(QmlVlcMedia* media);
    // Options the configuration trusts may do more than per-media tuning; the
    // others are given to libvlc as untrusted.
    Q_INVOKABLE int addWithOptions(const QString& mrl, const QStringList& options);
    Q_INVOKABLE void play();
    Q_INVOKABLE bool playItem(unsigned idx);
    Q_INVOKABLE void pause();
    Q_INVOKABLE void togglePause();
    Q_INVOKABLE void stop();
    Q_INVOKABLE void next();
    Q_INVOKABLE void prev();
    Q_INVOKABLE void clear();
    Q_INVOKABLE bool removeItem(unsigned idx);
    Q_INVOKABLE void advanceItem(unsigned idx, int count);

signals:
    // Emitted by the player when libvlc reports a change of media.
    void currentItemChanged();

private:
    vlc::playlist_player_core& player() const;

    static int itemsCount(QQmlListProperty<QmlVlcMedia>* list);
    static QmlVlcMedia* itemAt(QQmlListProperty<QmlVlcMedia>* list, int index);
    static void itemsClear(QQmlListProperty<QmlVlcMedia>* list);

    QmlVlcPlayerProxy* m_owner;
};
