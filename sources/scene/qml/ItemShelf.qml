import QtQuick 2.7

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

    // A debug line for the scene's output.
    signal log(string line)

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

    // A new item for the element, waiting last; null when none can be built.
    function build(element) {
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

    // Last first: each item leaves the shelf as it is destroyed.
    function clear() {
        for (var i = children.length - 1; i >= 0; --i)
            children[i].destroyElt();
    }
}
