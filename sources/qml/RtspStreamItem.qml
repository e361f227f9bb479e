import QtQuick 2.7
import QmlVlc 0.1

// A live stream composition. Setting the source opens the stream at once, so it
// is already playing when the item comes on screen one step later.
Rectangle {
    id: streamItem
    color: "grey"

    property alias source: player.mrl

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
