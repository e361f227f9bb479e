import QtQuick 2.7
import QtWebEngine 1.8

// A web page composition: a web URL, or a page-builder page already completed
// to an absolute address by the scene.
Rectangle {
    id: webViewItem

    property alias source: view.url
    property bool nextCompositionTrigger: false

    WebEngineView {
        id: view
        anchors.fill: parent
    }

    // The page starts loading now, while the item still waits hidden.
    function setSource(source) {
        view.url = source;
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
