import QtQuick 2.7
import QtQuick.Controls 1.4
import QtQuick.Window 2.2
import "js/functions.js" as Functions
import "js/expression.js" as Expression
import "js/trust.js" as Trust
import Player 1.0

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    title: "StackView"
    visible: true
    color: "#000000"
    visibility: "FullScreen"
    // Signage screens often run a bare X server: with no window manager to honour
    // the full-screen request, the window still has to cover the whole screen.
    x: 0
    y: 0
    width: Screen.width
    height: Screen.height

    // The schedule address of the last load, played again by the remote "play"
    // command without a schedule identifier.
    property var defaultJson: null
    property bool bDebug: false

    function load(json, hostPort, bDebug) {
        mainWindow.bDebug = (bDebug === true || bDebug === "true");
        stack.hostPort = "" + hostPort;
        stack.json = "" + json;
        defaultJson = "" + json;
        debug("FUNCTION - load - BEGIN");
        debug(hostPort + ":" + json);
        debug("FUNCTION - load - END");
        stack.init();
    }

    function debug(str) {
        if (bDebug)
            console.log(Functions.debugStamp(new Date()) + "- DEBUG :" + str);
    }

    Timer {
        id: stackViewInit
        objectName: "stackViewInit"
        interval: 1000
        repeat: false
        onTriggered: initStack()

        // Starts playing the sequences allowed now, one second after a launch.
        function initStack() {
            debug("FUNCTION - initStack - BEGIN");
            // Whatever a clock tick built during the start delay is superseded here.
            stack.clearDuplication(true);
            stack.clearItems();

            var list = stack.sequencesToPlay;
            if (stack.isThereOnlyOneElementToDisplay()) {
                var only = Functions.nextEntryWithElements(list, 0);
                stack.duplication = stack.buildElt(Functions.elementsOf(only)[0]);
            }
            stack.initItems();

            var k = -1;
            for (var i = 0; i < list.length; ++i) {
                if (Functions.elementsOf(list[i]).length > 0) {
                    k = i;
                    break;
                }
            }
            if (k >= 0) {
                stack.currentSequence = list[k];
                stack.previousSequence = Functions.previousEntryWithElements(list, k - 1);
                stack.previousIndex = Functions.elementsOf(stack.previousSequence).length - 1;
                stack.index = 0;
                stackViewTimer.interval = Functions.timerInterval(
                    Functions.effectiveDuration(stack.currentElement(), stack.currentSequence));
                stack.pushElt(0);
                if (stackViewTimer.interval > 0)
                    stackViewTimer.start();
            } else {
                debug("FUNCTION - initStack - no sequence to play now");
            }
            clock.start();
            debug("FUNCTION - initStack - END");
        }
    }

    Timer {
        id: stackViewTimer
        objectName: "stackViewTimer"
        interval: 0
        repeat: false
        onTriggered: pushStack()

        // The advance to the next composition, by timer, end of video or remote command.
        function pushStack() {
            if (!stack.currentSequence || Functions.elementsOf(stack.currentSequence).length === 0) {
                debug("FUNCTION - pushStack - nothing on screen, nothing to advance");
                return;
            }
            if (!pushGate.admit(stack.duplication && stack.duplication !== stack.currentItem
                                ? stack.duplication : itemsContainer.children[0]))
                return; // pushGate calls again once the next composition has something to show
            stack.playLogLeaving(stackViewTimer.interval > 0 ? "duration" : "video-end", false);
            try {
                if (stack.currentElement().type === "Video")
                    stack.lastVideoItemToStop = stack.currentItem.children[0];
            } catch (e) {
                debug("FUNCTION - pushStack - catch:" + e.message);
            }

            stack.previousIndex = stack.index;
            stack.previousSequence = stack.currentSequence;

            var index = stack.index + 1;
            if (index >= Functions.elementsOf(stack.currentSequence).length) {
                index = 0;
                var list = stack.sequencesToPlay;
                var next = Functions.nextEntryWithElements(list,
                    Functions.positionOf(list, stack.currentSequence) + 1);
                // With nothing else allowed the sequence on screen starts over; the
                // clock relaunches within five seconds if it is no longer allowed either.
                if (next)
                    stack.currentSequence = next;
            }
            stack.index = index;

            stackViewTimer.interval = Functions.timerInterval(
                Functions.effectiveDuration(stack.currentElement(), stack.currentSequence));

            if (stack.duplication && stack.duplication !== stack.currentItem) {
                stack.pushDuplication();
            } else {
                if (itemsContainer.children.length === 0 || !itemsContainer.children[0])
                    stack.buildElt(stack.currentElement());
                stack.pushElt(0);
                stack.buildElt(stack.getNextStackUI(stack.index + 1));
            }

            if (stackViewTimer.interval > 0)
                stackViewTimer.start();
        }
    }

    Timer {
        id: clock
        objectName: "clock"
        interval: 5000
        repeat: true
        onTriggered: timeChanged()

        function timeChanged() {
            stack.updateSequencesToPlay();
            if (!stack.shouldPlay(stack.currentSequence))
                stack.launch();
        }
    }

    CompositionGate {
        id: pushGate
        patience: 2000
        onOpened: stackViewTimer.pushStack()
    }

    // Items built one step ahead wait here, unseen, oldest first. Visible to Qt
    // Quick, though: a web page paints while it waits and a picture is uploaded,
    // so that each shows at once when it is pushed.
    Item {
        id: itemsContainer
        objectName: "itemsContainer"
        opacity: 0
        anchors.fill: parent
    }

    StackView {
        id: stack
        objectName: "stack"
        anchors.fill: parent
        visible: true

        property int itemsLimit: 2
        property string json: ""
        property string hostPort: "localhost:80"
        property int index: 0
        property int previousIndex: 0
        property bool isInit: false
        property var currentSequence: null
        property var previousSequence: null
        property Item lastVideoItemToStop: null
        property Item duplication: null
        property bool paused: false

        property var sequences: []
        property var sequencesToPlay: []
        property var scheduleUID: ""
        property bool scheduleIsPrivate: true

        // When set (a Date or milliseconds since the epoch), the instant that the
        // diffusion rules are checked against instead of the local clock. Only the
        // scene tests set it; the product always runs on the real time.
        property var fixedNow: null

        property var videoComponent: Qt.createComponent("VideoItem.qml")
        property var webViewComponent: Qt.createComponent("WebViewItem.qml")
        property var imageComponent: Qt.createComponent("ImageItem.qml")
        property var rstpComponent: Qt.createComponent("RtspStreamItem.qml")

        delegate: StackViewDelegate {
            id: stackDelegate

            property bool transitioning: false
            property bool transitioningFinished: false
            property var enterParam: noAnimation
            property var exitParam: noAnimation
            property bool backward: false
            property var backwardExitTransition: null

            readonly property var noAnimation: ({ animate: false, property: "", from: 0, to: 0, duration: 0 })

            property Component transition: StackViewTransition {
                id: change
                PropertyAnimation {
                    target: stackDelegate.enterParam.animate ? change.enterItem : null
                    property: stackDelegate.enterParam.property
                    from: stackDelegate.enterParam.from
                    to: stackDelegate.enterParam.to
                    duration: stackDelegate.enterParam.duration
                }
                PropertyAnimation {
                    target: stackDelegate.exitParam.animate ? change.exitItem : null
                    property: stackDelegate.exitParam.property
                    from: stackDelegate.exitParam.from
                    to: stackDelegate.exitParam.to
                    duration: stackDelegate.exitParam.duration
                }
            }

            function getTransition(properties) {
                transitioning = true;
                var enterPart;
                var exitPart;
                if (backward) {
                    enterPart = getReversedEnterTransition();
                    exitPart = getReversedExitTransition();
                    backward = false;
                    backwardExitTransition = null;
                } else {
                    enterPart = getCurrentEnterTransition();
                    exitPart = getPreviousExitTransition();
                }
                // Sizes are taken now, so that a value written against the window
                // follows the window as it is when this change starts.
                var scope = sceneScope();
                enterParam = animationParameters(enterPart, scope, "enter");
                exitParam = animationParameters(exitPart, scope, "exit");
                return transition;
            }

            function transitionFinished(properties) {
                if (stack.isInit)
                    return;
                if (transitioningFinished)
                    return;
                transitioningFinished = true;
                if (stack.lastVideoItemToStop) {
                    try {
                        stack.lastVideoItemToStop.source.stop();
                    } catch (e) {
                        debug("FUNCTION - transitionFinished - catch:" + e.message);
                    }
                    stack.lastVideoItemToStop = null;
                }
                var leaving = properties.exitItem;
                if (leaving) {
                    leaving.opacity = 1;
                    leaving.rotation = 0;
                    leaving.x = 0;
                    leaving.y = 0;
                }
                transitioningFinished = false;
                transitioning = false;
            }

            function sceneScope() {
                return {
                    width: mainWindow.width,
                    height: mainWindow.height,
                    mainWindow: { width: mainWindow.width, height: mainWindow.height },
                    stack: { width: stack.width, height: stack.height }
                };
            }

            function evaluateValue(value, scope) {
                if (typeof Expression.evaluate === "function") {
                    var result = Expression.evaluate(value, scope);
                    return (typeof result === "number" && isFinite(result)) ? result : undefined;
                }
                return (typeof value === "number" && isFinite(value)) ? value : undefined;
            }

            // A part that cannot be read animates nothing; the other part of the
            // change still runs.
            function animationParameters(part, scope, name) {
                if (!Functions.isObject(part)) {
                    debug("FUNCTION - getTransition - no " + name + " transition, not animated");
                    return noAnimation;
                }
                if (typeof part.property !== "string" || part.property === "") {
                    debug("FUNCTION - getTransition - " + name + " transition without property, not animated");
                    return noAnimation;
                }
                var duration = Number(part.duration);
                if (part.duration === null || part.duration === undefined || !isFinite(duration) || duration < 0) {
                    debug("FUNCTION - getTransition - " + name + " transition without a valid duration, not animated");
                    return noAnimation;
                }
                var from = evaluateValue(part.from, scope);
                var to = evaluateValue(part.to, scope);
                if (from === undefined || to === undefined) {
                    debug("FUNCTION - getTransition - " + name + " transition rejected: from " + JSON.stringify(part.from)
                        + " to " + JSON.stringify(part.to) + ", not animated");
                    return noAnimation;
                }
                return { animate: true, property: part.property, from: from, to: to, duration: duration };
            }

            function getCurrentEnterTransition() {
                var current = stack.currentSequence;
                var previous = stack.previousSequence;
                if (current !== previous)
                    return Functions.transitionPart(Functions.elementsOf(previous)[0], previous, "enter");
                return Functions.transitionPart(Functions.elementsOf(current)[stack.index], current, "enter");
            }

            function getPreviousExitTransition() {
                var previous = stack.previousSequence;
                return Functions.transitionPart(Functions.elementsOf(previous)[stack.previousIndex], previous, "exit");
            }

            function getReversedEnterTransition() {
                var current = stack.currentSequence;
                return Functions.reverseTransitionPart(Functions.copyTransitionPart(
                    Functions.transitionPart(Functions.elementsOf(current)[stack.index], current, "exit")));
            }

            function getReversedExitTransition() {
                return Functions.reverseTransitionPart(Functions.copyTransitionPart(backwardExitTransition));
            }
        }

        function currentDate() {
            return fixedNow !== null && fixedNow !== undefined ? new Date(fixedNow) : new Date();
        }

        function currentElement() {
            return Functions.elementsOf(currentSequence)[index];
        }

        // ---- Loading and resetting ----

        function init() {
            debug("FUNCTION - init - BEGIN");
            scheduleSource.fetch(json);
            debug("FUNCTION - init - END");
        }

        // A usable document for the address asked for last, already sorted out by
        // the schedule source: every entry and element in it can be played. A
        // refresh changes the sequences under the composition on screen; they take
        // effect at the next change.
        function take(document, refreshed) {
            if (!refreshed)
                initValues();
            var schedule = document.schedule;
            sequences = schedule.sequences;
            // An old-form document names no schedule: the one before keeps its QR code.
            if (!document.objectsForm) {
                scheduleUID = schedule.schedule_uid;
                scheduleIsPrivate = schedule.private !== undefined ? !!schedule.private : false;
            }
            updateSequencesToPlay();
            debug("FUNCTION - init - schedule uid is " + scheduleUID);
            if (!scheduleIsPrivate && scheduleUID !== undefined && scheduleUID !== null && scheduleUID !== "") {
                debug("FUNCTION - init - schedule is public => showing the qrcode");
                if (typeof applicationEngine !== "undefined")
                    applicationEngine.showQrCode("" + scheduleUID);
            } else {
                debug("FUNCTION - init - schedule is private => hiding the qrcode");
                if (typeof applicationEngine !== "undefined")
                    applicationEngine.hideQrCode();
            }
            if (!refreshed)
                launch();
        }

        function initValues() {
            isInit = true;
            index = 0;
            previousIndex = 0;
            stackViewTimer.stop();
            pushGate.cancel();
            playLogLeaving("reload", true);
            stack.clear();
        }

        function initItems() {
            var list = sequencesToPlay;
            for (var i = 0; i < list.length; ++i) {
                var elements = Functions.elementsOf(list[i]);
                for (var j = 0; j < elements.length; ++j) {
                    if (itemsContainer.children.length >= itemsLimit)
                        return;
                    buildElt(elements[j]);
                }
            }
        }

        function clearItems() {
            var items = [];
            for (var i = 0; i < itemsContainer.children.length; ++i)
                items.push(itemsContainer.children[i]);
            for (var k = 0; k < items.length; ++k) {
                if (typeof items[k].destroyElt === "function")
                    items[k].destroyElt();
                else
                    items[k].destroy();
            }
        }

        // Forgets the duplicate. A duplicate still waiting in the container would
        // otherwise be pushed later as if it were the next element, so it goes too.
        function clearDuplication(destroyWaiting) {
            if (destroyWaiting && duplication && duplication.parent === itemsContainer)
                duplication.destroyElt();
            duplication = null;
        }

        function clearStack() {
            currentSequence = null;
            clearDuplication(false);
            clearItems();
            initValues();
        }

        function launch() {
            debug("FUNCTION - launch");
            clearStack();
            isInit = false;
            stackViewInit.start();
        }

        // ---- Sequence selection ----

        function shouldPlay(sequence) {
            if (sequence === null || sequence === undefined)
                return false;
            return Functions.diffusionAllows(sequence, currentDate());
        }

        function updateSequencesToPlay() {
            var list = [];
            for (var i = 0; i < sequences.length; ++i) {
                if (shouldPlay(sequences[i]))
                    list.push(sequences[i]);
            }
            if (Functions.countElements(sequencesToPlay) !== 1) {
                debug("FUNCTION - updateSequencesToPlay - clearDuplication");
                clearDuplication(true);
            } else if (!duplication) {
                debug("FUNCTION - updateSequencesToPlay - buildElt duplication");
                var only = Functions.nextEntryWithElements(sequencesToPlay, 0);
                duplication = buildElt(Functions.elementsOf(only)[0]);
            }
            sequencesToPlay = list;
            debug("FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : " + list.length);
        }

        function isThereOnlyOneElementToDisplay() {
            var count = Functions.countElements(sequencesToPlay);
            debug("FUNCTION - elementCount : " + count);
            return count === 1;
        }

        // ---- Building and showing ----

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

        function buildElt(element) {
            if (!Functions.isObject(element)) {
                debug("FUNCTION - buildElt - no element to build");
                return null;
            }
            var component = componentFor(element.type);
            if (!component) {
                debug("FUNCTION - buildElt - unknown type " + JSON.stringify(element.type));
                return null;
            }
            if (component.status !== Component.Ready) {
                debug("FUNCTION - buildElt - " + element.type + " items cannot be built: " + component.errorString().trim());
                return null;
            }
            // Built at the size it will be shown at: a page is laid out and painted
            // once, before it comes on screen.
            var item = component.createObject(itemsContainer, { width: stack.width, height: stack.height });
            if (!item) {
                debug("FUNCTION - buildElt - creating a " + element.type + " item failed");
                return null;
            }
            if (item.videoFinished)
                item.videoFinished.connect(stackViewTimer.pushStack);
            if (item.pageFailed)
                item.pageFailed.connect(function (url, reason) { debug("FUNCTION - page " + url + " failed to load: " + reason + ", black until it loads"); });
            configElt(item, element);
            return item;
        }

        function configElt(item, element) {
            var attributes = Functions.isObject(element.attributes) ? element.attributes : {};
            if (attributes.source !== undefined && attributes.source !== null && typeof item.setSource === "function") {
                item.setSource(element.type === "Image" || element.type === "Video"
                    ? scheduleSource.mediaFor("" + attributes.source) : attributes.source);
                if (element.type === "Video" && typeof item.stopVideo === "function")
                    item.stopVideo();
            }
            if (attributes.fillMode !== undefined && attributes.fillMode !== null && typeof item.setFillMode === "function") {
                if (Functions.isFillModeName(attributes.fillMode))
                    item.setFillMode(attributes.fillMode);
                else
                    debug("FUNCTION - configElt - unknown fillMode " + JSON.stringify(attributes.fillMode) + ", kept Stretch");
            }
            if (element.duration !== undefined && element.duration !== null
                    && typeof item.setNextCompositionTrigger === "function")
                item.setNextCompositionTrigger(element.duration == 0);
        }

        function getNextStackUI(i) {
            var elements = Functions.elementsOf(currentSequence);
            if (i < elements.length)
                return elements[i];
            var list = sequencesToPlay;
            var next = Functions.nextEntryWithElements(list, Functions.positionOf(list, currentSequence) + 1);
            return next ? Functions.elementsOf(next)[0] : elements[0];
        }

        function pushElt(elt) {
            var item = (typeof elt === "number") ? itemsContainer.children[elt] : elt;
            if (!item) {
                debug("FUNCTION - pushElt - no item to push");
                return;
            }
            // Announced first: a 0 ms transition ends inside the push, stopping the leaving
            // video (slow in libvlc); the screen changes at the next frame either way.
            sendInfosFromCurrentComposition();
            stack.push({ item: item, replace: true, destroyOnPop: true });
            try {
                if (currentElement().type === "Video")
                    stack.currentItem.startVideo();
            } catch (e) {
                debug("FUNCTION - pushElt - catch:" + e.message);
            }
        }

        function pushDuplication() {
            sendInfosFromCurrentComposition();
            stack.push({ item: duplication, replace: true, destroyOnPop: true });
            try {
                if (currentElement().type === "Video")
                    stack.currentItem.startVideo();
            } catch (e) {
                debug("FUNCTION - pushDuplication - catch:" + e.message);
            }
        }

        function deviceIdText() {
            return typeof deviceUID === "undefined" || deviceUID === null ? "" : "" + deviceUID;
        }

        function broadcast(message) {
            if (typeof applicationEngine !== "undefined")
                applicationEngine.broadcastMessage(JSON.stringify(message));
        }

        function sendInfosFromCurrentComposition() {
            var element = currentElement();
            if (!element)
                return;
            var infos = {};
            infos.type = element.type;
            infos.source = Functions.isObject(element.attributes) ? element.attributes.source : undefined;
            infos.duration = Functions.effectiveDuration(element, currentSequence);
            if (element.hueColor !== undefined && element.hueColor !== null)
                infos.hueColor = element.hueColor;
            if (element.fragrance !== undefined && element.fragrance !== null)
                infos.fragrance = "on";
            broadcast({ cmd: "player_composition_changed", id: "auto", device_id: deviceIdText(), infos: infos });
            if (typeof playLog !== "undefined" && playLog)
                playLog.shown({ schedule: scheduleUID, sequence: sequences.indexOf(currentSequence), element: index,
                                type: infos.type, source: infos.source, device: deviceIdText() });
        }

        // Tells the proof-of-play log why the composition on screen leaves: about to
        // (an advance is under way), or already gone (the screen is being cleared).
        function playLogLeaving(how, gone) {
            if (typeof playLog === "undefined" || !playLog)
                return;
            if (gone)
                playLog.left(currentItem, how);
            else
                playLog.leaving(currentItem, how);
        }

        // ---- Remote operations ----

        function setTriggerOnScreen(flag) {
            if (currentItem && typeof currentItem.setNextCompositionTrigger === "function")
                currentItem.setNextCompositionTrigger(flag);
        }

        function goToPreviousComposition() {
            if (stackDelegate.transitioning)
                return;
            if (!currentSequence || !currentElement()) {
                debug("FUNCTION - goToPreviousComposition - nothing on screen, ignored");
                return;
            }
            debug("FUNCTION - goToPreviousComposition");
            pushGate.cancel();
            playLogLeaving("remote", false);
            var shown = currentElement();
            if (shown.type === "Video") {
                try {
                    lastVideoItemToStop = currentItem.children[0];
                } catch (e) {
                    debug("FUNCTION - goToPreviousComposition - catch:" + e.message);
                }
                setTriggerOnScreen(false);
            }
            stackDelegate.backwardExitTransition = stackDelegate.getCurrentEnterTransition();

            var list = sequencesToPlay;
            var position;
            var newIndex = index - 1;
            if (newIndex < 0) {
                position = Functions.positionOf(list, currentSequence);
                var before = Functions.previousEntryWithElements(list, position <= 0 ? list.length - 1 : position - 1);
                if (before)
                    currentSequence = before;
                newIndex = Functions.elementsOf(currentSequence).length - 1;
            }
            index = newIndex;
            if (index - 1 >= 0) {
                previousSequence = currentSequence;
                previousIndex = index - 1;
            } else {
                position = Functions.positionOf(list, currentSequence);
                var earlier = Functions.previousEntryWithElements(list, position <= 0 ? list.length - 1 : position - 1);
                previousSequence = earlier ? earlier : currentSequence;
                previousIndex = Functions.elementsOf(previousSequence).length - 1;
            }

            stackViewTimer.interval = Functions.timerInterval(Functions.effectiveDuration(currentElement(), currentSequence));
            stackDelegate.backward = true;

            if (duplication && duplication !== currentItem) {
                pushDuplication();
            } else {
                clearItems();
                var item = buildElt(currentElement());
                buildElt(shown);
                if (item)
                    pushElt(item);
            }

            if (stackViewTimer.interval > 0) {
                stackViewTimer.stop();
                if (!paused)
                    stackViewTimer.start();
            } else {
                stackViewTimer.stop();
                setTriggerOnScreen(!paused);
            }
        }

        function goToNextComposition() {
            if (stackDelegate.transitioning)
                return;
            if (!currentSequence || !currentElement()) {
                debug("FUNCTION - goToNextComposition - nothing on screen, ignored");
                return;
            }
            debug("FUNCTION - goToNextComposition");
            if (pushGate.waiting) { // the advance is already under way: it stops waiting
                stackViewTimer.pushStack();
                return;
            }
            playLogLeaving("remote", false);
            if (stackViewTimer.interval > 0) {
                if (!paused)
                    stackViewTimer.interval = 0;
                else
                    stackViewTimer.pushStack();
            } else {
                if (currentElement().type === "Video")
                    setTriggerOnScreen(!paused);
                stackViewTimer.pushStack();
            }
            if (paused)
                stackViewTimer.stop();
        }

        function pausePlayer() {
            debug("FUNCTION - pausePlayer");
            if (paused)
                return;
            if (!currentSequence || !currentElement()) {
                debug("FUNCTION - pausePlayer - nothing on screen, ignored");
                return;
            }
            paused = true;
            pushGate.cancel(); // the advance it held back waits for the resume
            if (stackViewTimer.interval > 0)
                stackViewTimer.stop();
            else if (currentElement().type === "Video")
                setTriggerOnScreen(false);
            broadcast({ cmd: "player_is_paused", id: "auto", device_id: deviceIdText() });
        }

        function resumePlayer() {
            debug("FUNCTION - resumePlayer");
            if (!paused)
                return;
            if (currentSequence && currentElement()) {
                if (stackViewTimer.interval > 0)
                    stackViewTimer.start();
                else if (currentElement().type === "Video")
                    setTriggerOnScreen(true);
            }
            paused = false;
            broadcast({ cmd: "player_is_resumed", id: "auto", device_id: deviceIdText() });
        }

        function playSchedule(scheduleUID) {
            debug("FUNCTION - playSchedule");
            if (scheduleUID === undefined || scheduleUID === null) {
                debug("FUNCTION - playSchedule -> scheduleUID is not defined");
                return;
            }
            json = scheduleSource.scheduleAddress("" + scheduleUID);
            init();
        }

        function playDefaultSchedule() {
            debug("FUNCTION - playDefaultSchedule");
            if (defaultJson === null || defaultJson === undefined) {
                debug("FUNCTION - playDefaultSchedule - nothing was loaded yet");
                return;
            }
            json = "" + defaultJson;
            init();
        }
    }

    ScheduleSource {
        id: scheduleSource
        hostPort: stack.hostPort
        onMessage: debug(text)
        onDocumentReady: stack.take(document, refreshed)
    }

    SpinnerItem {}

    ScheduleQRCodeItem {}
}
