// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QmlVlc 0.1

// A video composition. While it waits hidden to be shown, the player opens its
// address silenced and holds it on its first picture, so that the first frame
// on screen is already the video; playback and sound start when it is pushed.
Rectangle {
    id: videoItem
    // While it fades, the item is drawn as one picture: its background would
    // otherwise show through its own content at the item's opacity. Not at 0,
    // where nothing of it is drawn, nor at 1: a layer is one more full pass.
    layer.enabled: opacity > 0 && opacity < 1
    // Behind a picture the background would be drawn for nothing: the picture
    // is stretched over the whole item and opaque.
    color: surface.visible && player.hasPicture ? "transparent" : "grey"

    property alias source: player.mrl
    property bool nextCompositionTrigger: false
    property string currentSource: ""

    // Nothing left to wait for before it is shown: its first picture is there,
    // or the media could not give one (it is opened afresh when it starts).
    readonly property bool ready: started || player.cued || cueFailed
    property bool started: false
    property bool cueFailed: false
    // The media could not be opened or played (missing, undecodable, unreachable):
    // the scene skips the item, or leaves it at once when it is already on screen.
    readonly property bool failed: cueFailed || player.state === VlcPlayer.Error
    readonly property string failure: failed ? "video not played" : ""
    readonly property string decoder: player.decoder

    // The media has played to its end and this composition was told to advance
    // then. The scene connects it.
    signal videoFinished()

    VlcPlayer {
        id: player
        onStateChanged: console.log("onStateChanged")
        onMediaPlayerStopped: console.log("onMediaPlayerStopped")
        // Before the push only the cue can end or fail; the composition is not
        // on screen yet and must not advance the sequence.
        onMediaPlayerEndReached: {
            console.log("onMediaPlayerEndReached");
            if (!videoItem.started)
                videoItem.cueFailed = true;
            else if (videoItem.nextCompositionTrigger)
                videoItem.videoFinished();
        }
        onMediaPlayerEncounteredError: {
            console.log("onMediaPlayerEncounteredError");
            // On screen, the error state makes the item failed: the scene leaves it.
            if (!videoItem.started)
                videoItem.cueFailed = true;
        }
    }

    VlcVideoSurface {
        id: surface
        source: player
        anchors.fill: parent
        fillMode: VlcVideoSurface.Stretch
        // Waiting items are not seen, but a visible surface would still upload
        // each repeat of the waiting picture and have the window redrawn.
        visible: videoItem.started
    }

    // An absolute address: the scene resolves server paths and kept copies.
    function setSource(source) {
        currentSource = "" + source;
        // After the scene has finished configuring the item (it stops the
        // player right after this call).
        Qt.callLater(cue);
    }

    function cue() {
        if (started || currentSource === "")
            return;
        cueFailed = false;
        player.cue(currentSource);
    }

    function startVideo() {
        console.log("startVideo");
        console.log(currentSource);
        var waiting = player.cued || (player.state !== VlcPlayer.NothingSpecial && !cueFailed);
        started = true;
        // A cue that is still opening goes on from where it is; one that failed
        // is tried once more, now on screen, where its error advances.
        if (!waiting || player.mrl === "")
            player.mrl = currentSource;
        player.play();
    }

    // The scene stops a leaving video once its exit animation has finished. One
    // that has started is only silenced and paused here: the item is destroyed
    // next, and its destruction stops the player off the GUI thread.
    function stopVideo() {
        console.log("stopVideo");
        if (started) {
            player.mute();
            player.pause();
        } else {
            player.stop();
        }
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
