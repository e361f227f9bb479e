// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtWebEngine 1.10
import "js/trust.js" as Trust

// A web page composition: a web URL, or a page-builder page already completed
// to an absolute address by the scene.
//
// Nobody stands at a signage screen to answer a page: whatever a page asks of a
// person (a dialog, a new window, a permission, a download) is refused at once and
// the page stays on screen until the sequence moves on.
//
// A public screen never shows the engine's own error page: a page that cannot be
// loaded (no answer, or an HTTP error status) makes the item failed, and the scene
// skips it or leaves it. Until then the item is transparent and asks for the page
// again every few seconds.
Rectangle {
    id: webViewItem
    // While it fades, the item is drawn as one picture: its background would
    // otherwise show through its own content at the item's opacity.
    layer.enabled: opacity < 1

    property alias source: view.url
    property bool nextCompositionTrigger: false
    property string pageSource: ""
    property bool loadFailed: false
    property bool pageLoaded: false
    // The page is there to be shown, or known not to come.
    readonly property bool ready: pageLoaded || loadFailed
    readonly property bool failed: loadFailed
    // Why, for the play log: "HTTP 404", or the engine's text for a network error.
    property string failure: ""

    color: loadFailed ? "transparent" : "white"

    Timer {
        interval: 3000
        repeat: true
        running: webViewItem.loadFailed
        onTriggered: view.reload()
    }

    WebEngineView {
        id: view
        anchors.fill: parent
        profile: pageProfile
        visible: !webViewItem.loadFailed

        onLoadingChanged: {
            if (loadRequest.status === WebEngineView.LoadSucceededStatus) {
                webViewItem.loadFailed = false;
                webViewItem.pageLoaded = true;
            } else if (loadRequest.status === WebEngineView.LoadFailedStatus) {
                webViewItem.failure = loadRequest.errorDomain === WebEngineView.HttpErrorDomain
                    ? "HTTP " + loadRequest.errorCode : "page not loaded: " + loadRequest.errorString;
                webViewItem.loadFailed = true;
            }
        }

        settings.javascriptCanOpenWindows: false

        // alert, confirm and prompt answer as though dismissed; leaving the page
        // is always allowed, so beforeunload cannot hold the next composition back.
        onJavaScriptDialogRequested: {
            request.accepted = true;
            if (request.type === JavaScriptDialogRequest.DialogTypeBeforeUnload)
                request.dialogAccept();
            else
                request.dialogReject();
        }
        onAuthenticationDialogRequested: { request.accepted = true; request.dialogReject(); }
        onFileDialogRequested: { request.accepted = true; request.dialogReject(); }
        onColorDialogRequested: { request.accepted = true; request.dialogReject(); }
        onContextMenuRequested: request.accepted = true
        onNewViewRequested: {} // no view is opened for it, so the new window never exists
        onFullScreenRequested: request.reject()
        onRegisterProtocolHandlerRequested: request.reject()
        onFeaturePermissionRequested: grantFeaturePermission(securityOrigin, feature, false)
        onNavigationRequested: {
            if (!Trust.navigationAllowed(webViewItem.pageSource, request.url))
                request.action = WebEngineNavigationRequest.IgnoreRequest;
        }
    }

    // Each page gets a profile of its own that lives in memory only: no cookie,
    // storage, cache or service worker of one composition is there for the next
    // one, and nothing is written to disk. Declared after the view so that it is
    // destroyed after the page that uses it.
    WebEngineProfile {
        id: pageProfile
        offTheRecord: true
        onDownloadRequested: download.cancel()
    }

    // The page starts loading now, while the item still waits hidden.
    function setSource(source) {
        pageSource = "" + source;
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
