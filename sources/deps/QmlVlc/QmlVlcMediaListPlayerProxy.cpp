// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcMediaListPlayerProxy.h"

void QmlVlcMediaListPlayerProxy::handleLibvlcEvent(const LibvlcEvent& ev)
{
    const libvlc_event_t& e = ev.libvlcEvent();
    switch (e.type) {
    case libvlc_MediaListItemAdded:
        emit mediaListItemAdded(e.u.media_list_item_added.index);
        break;
    case libvlc_MediaListWillAddItem:
        emit mediaListWillAddItem(e.u.media_list_will_add_item.index);
        break;
    case libvlc_MediaListItemDeleted:
        emit mediaListItemDeleted(e.u.media_list_item_deleted.index);
        break;
    case libvlc_MediaListWillDeleteItem:
        emit mediaListWillDeleteItem(e.u.media_list_will_delete_item.index);
        break;
    case libvlc_MediaListPlayerPlayed:
        emit mediaListPlayerPlayed();
        break;
    case libvlc_MediaListPlayerNextItemSet:
        emit mediaListPlayerNextItemSet();
        break;
    case libvlc_MediaListPlayerStopped:
        emit mediaListPlayerStopped();
        break;
    default:
        QmlVlcPlayerProxy::handleLibvlcEvent(ev);
        break;
    }
}
