// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QmlVlc 0.1

// A live stream composition. Setting the source opens the stream at once, so it
// is already playing when the item comes on screen one step later.
Rectangle {
    id: streamItem
    // While it fades, the item is drawn as one picture: its background would
    // otherwise show through its own content at the item's opacity. Not at 0,
    // where nothing of it is drawn, nor at 1: a layer is one more full pass.
    layer.enabled: opacity > 0 && opacity < 1
    color: "grey"

    property alias source: player.mrl
    // The stream has given its first picture, or has failed.
    readonly property bool ready: player.hasPicture || failed
    // Refused, unreachable or dropped: the scene skips the item, or leaves it at
    // once when it is already on screen.
    readonly property bool failed: player.state === VlcPlayer.Error || player.state === VlcPlayer.Ended
    readonly property string failure: failed ? "stream refused or ended" : ""
    readonly property string decoder: player.decoder

    VlcPlayer {
        id: player
    }

    VlcVideoSurface {
        source: player
        anchors.fill: parent
    }

    function setSource(source) {
        streamItem.source = source;
    }

    function destroyElt() {
        visible = false;
        parent = null;
        destroy();
    }
}
