// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import "js/functions.js" as Functions

// Items built one step ahead wait here, unseen, oldest first. Visible to Qt
// Quick, though: a web page paints while it waits and a picture is uploaded,
// so that each shows at once when it is pushed. GUI thread, owned by the scene.
Item {
    id: shelf
    opacity: 0

    property var videoComponent: Qt.createComponent("VideoItem.qml")
    property var webViewComponent: Qt.createComponent("WebViewItem.qml")
    property var imageComponent: Qt.createComponent("ImageItem.qml")
    property var rstpComponent: Qt.createComponent("RtspStreamItem.qml")

    // Resolves an image or video source to the address to open (mediaFor(source)):
    // a server path or a kept copy. The scene's schedule source.
    property var media: null

    // A debug line for the scene's output.
    signal log(string line)
    // An item's video played to its end, for an item told to advance then.
    signal finished()
    // An item could not show its content (it may be waiting here or on screen).
    signal failed(var item)

    function componentFor(type) {
        switch (type) {
        case "Image": return imageComponent;
        case "Video": return videoComponent;
        case "WebView":
        case "PageBuilder": return webViewComponent;
        case "RtspStream": return rstpComponent;
        default: return null;
        }
    }

    // A new item for the element, waiting last and configured from its attributes;
    // null when none can be built.
    function build(element) {
        var item = create(element);
        if (!item)
            return null;
        if (item.videoFinished)
            item.videoFinished.connect(finished);
        if (item.failedChanged)
            item.failedChanged.connect(function () { if (item.failed) shelf.failed(item); });
        configure(item, element);
        return item;
    }

    function create(element) {
        if (element === null || typeof element !== "object" || Array.isArray(element)) {
            log("FUNCTION - buildElt - no element to build");
            return null;
        }
        var component = componentFor(element.type);
        if (!component) {
            log("FUNCTION - buildElt - unknown type " + JSON.stringify(element.type));
            return null;
        }
        if (component.status !== Component.Ready) {
            log("FUNCTION - buildElt - " + element.type + " items cannot be built: " + component.errorString().trim());
            return null;
        }
        // Built at the size it will be shown at: a page is laid out and painted
        // once, before it comes on screen.
        var item = component.createObject(shelf, { width: width, height: height });
        if (!item)
            log("FUNCTION - buildElt - creating a " + element.type + " item failed");
        return item;
    }

    function configure(item, element) {
        var attributes = Functions.isObject(element.attributes) ? element.attributes : {};
        if (attributes.source !== undefined && attributes.source !== null && typeof item.setSource === "function") {
            item.setSource(element.type === "Image" || element.type === "Video"
                ? media.mediaFor("" + attributes.source) : attributes.source);
            if (element.type === "Video" && typeof item.stopVideo === "function")
                item.stopVideo();
        }
        if (attributes.fillMode !== undefined && attributes.fillMode !== null && typeof item.setFillMode === "function") {
            if (Functions.isFillModeName(attributes.fillMode))
                item.setFillMode(attributes.fillMode);
            else
                log("FUNCTION - configElt - unknown fillMode " + JSON.stringify(attributes.fillMode) + ", kept Stretch");
        }
        if (element.duration !== undefined && element.duration !== null
                && typeof item.setNextCompositionTrigger === "function")
            item.setNextCompositionTrigger(element.duration == 0);
    }

    // Last first: each item leaves the shelf as it is destroyed.
    function clear() {
        for (var i = children.length - 1; i >= 0; --i)
            children[i].destroyElt();
    }
}
