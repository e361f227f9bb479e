// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7

// A still image composition. The black rectangle shows while the image decodes
// and around it when its fill mode leaves room.
Rectangle {
    id: imageItem
    // While it fades, the item is drawn as one picture: its background would
    // otherwise show through its own content at the item's opacity. Not at 0,
    // where nothing of it is drawn, nor at 1: a layer is one more full pass.
    layer.enabled: opacity > 0 && opacity < 1
    color: "black"

    property alias source: image.source
    property alias fillMode: image.fillMode
    property bool nextCompositionTrigger: false
    // Decoded, or known not to decode: the scene may show it without a frame of
    // the black behind it.
    readonly property bool ready: image.status !== Image.Loading
    // The image could not be loaded or decoded: the scene skips it, or leaves it at
    // once when it is already on screen. failure says why, for the play log.
    readonly property bool failed: image.status === Image.Error
    readonly property string failure: failed ? "image not loaded" : ""

    Image {
        id: image
        anchors.fill: parent
        fillMode: Image.Stretch
        autoTransform: true
        asynchronous: true
        cache: false
        sourceSize.width: 1920
        sourceSize.height: 1080
    }

    // An absolute address: the scene resolves server paths and kept copies.
    function setSource(source) {
        image.source = "" + source;
    }

    function setFillMode(name) {
        switch (name) {
        case "Stretch": image.fillMode = Image.Stretch; break;
        case "PreserveAspectFit": image.fillMode = Image.PreserveAspectFit; break;
        case "PreserveAspectCrop": image.fillMode = Image.PreserveAspectCrop; break;
        case "Tile": image.fillMode = Image.Tile; break;
        case "TileVertically": image.fillMode = Image.TileVertically; break;
        case "TileHorizontally": image.fillMode = Image.TileHorizontally; break;
        case "Pad": image.fillMode = Image.Pad; break;
        default: break; // unknown names keep the current mode
        }
    }

    function setNextCompositionTrigger(flag) {
        nextCompositionTrigger = flag;
    }

    // Taken out of its container at once so that the container's order only
    // counts items still waiting; the object itself goes at the next event loop turn.
    function destroyElt() {
        visible = false;
        parent = null;
        destroy();
    }
}
