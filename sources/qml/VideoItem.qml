import QtQuick 2.7
import QmlVlc 0.1

// A video composition. The address is only stored when the item is built; the
// player opens it when the item is pushed on screen.
Rectangle {
    id: videoItem
    color: "grey"

    property alias source: player.mrl
    property alias videoPlayer: player
    property bool nextCompositionTrigger: false
    property string currentSource: ""

    // The media has finished, by its end or by an error (a missing file, an
    // unreachable server, undecodable data: libvlc then never reports an end),
    // and this composition was told to advance then. The scene connects it.
    signal videoFinished()

    VlcPlayer {
        id: player
        onStateChanged: console.log("onStateChanged")
        onMediaPlayerStopped: console.log("onMediaPlayerStopped")
        onMediaPlayerEndReached: {
            console.log("onMediaPlayerEndReached");
            if (videoItem.nextCompositionTrigger)
                videoItem.videoFinished();
        }
        onMediaPlayerEncounteredError: {
            console.log("onMediaPlayerEncounteredError");
            errorAdvance.start();
        }
    }

    // An error comes within milliseconds for a missing file: waiting a second,
    // as the player itself does before it skips a failed item, keeps a
    // schedule of nothing but broken videos from spinning.
    Timer {
        id: errorAdvance
        interval: 1000
        onTriggered: {
            if (videoItem.nextCompositionTrigger)
                videoItem.videoFinished();
        }
    }

    // The first visual child: the scene stops the player it shows when a leaving
    // video has finished its exit animation.
    VlcVideoSurface {
        source: player
        anchors.fill: parent
        fillMode: VlcVideoSurface.Stretch
    }

    function setSource(source) {
        var text = "" + source;
        currentSource = text.charAt(0) === "/" ? "http://" + stack.hostPort + text : text;
    }

    function startVideo() {
        console.log("startVideo");
        console.log(currentSource);
        player.mrl = currentSource;
        player.play();
    }

    function stopVideo() {
        console.log("stopVideo");
        errorAdvance.stop();
        player.stop();
    }

    function setNextCompositionTrigger(flag) {
        nextCompositionTrigger = flag;
    }

    function destroyElt() {
        visible = false;
        parent = null;
        destroy();
    }
}
