// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "QmlVlcPlayerProxy.h"
#include "vlc_media_list_player.h"

// A player proxy whose playlist is libvlc's own media list; adds the list's
// events as signals.
class QmlVlcMediaListPlayerProxy : public QmlVlcPlayerProxy {
    Q_OBJECT

public:
    QmlVlcMediaListPlayerProxy(const std::shared_ptr<vlc::media_list_player>& player, QObject* parent = nullptr)
        : QmlVlcPlayerProxy(player, parent)
    {
    }

signals:
    void mediaListItemAdded(int index);
    void mediaListWillAddItem(int index);
    void mediaListItemDeleted(int index);
    void mediaListWillDeleteItem(int index);
    void mediaListPlayerPlayed();
    void mediaListPlayerNextItemSet();
    void mediaListPlayerStopped();

protected:
    void handleLibvlcEvent(const LibvlcEvent& ev) override;
};
