import QtQuick 2.7
import QtQuick.Controls 1.4
import QtQuick.Window 2.2
import "js/functions.js" as Functions
import "js/transitions.js" as Transitions
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

    // What the scene shows and why it changes, for whoever reports it: the engine's
    // reporter turns them into status datagrams and play-log lines. composition:
    // type, source, duration, hueColor, fragrance, schedule, sequence, element, device.
    signal compositionShown(var composition)
    // The composition on screen is about to leave (an advance is under way) or has
    // left (the screen was cleared); failed: its item could not show its content.
    signal compositionLeaving(string reason, bool failed)
    signal compositionLeft(string reason, bool failed)
    signal compositionPaused()
    signal compositionResumed()

    // The schedule address of the last load, played again by the remote "play"
    // command without a schedule identifier.
    property var defaultJson: null
    property bool bDebug: false

    function load(json, hostPort, bDebug) {
        mainWindow.bDebug = (bDebug === true || bDebug === "true");
        stack.hostPort = "" + hostPort;
        stack.json = "" + json;
        defaultJson = "" + json;
        debug(hostPort + ":" + json);
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
            // Whatever a clock tick built during the start delay is superseded here.
            stack.clearDuplication(true);
            stack.clearItems();
            var list = stack.sequencesToPlay;
            if (stack.isThereOnlyOneElementToDisplay())
                stack.duplication = stack.buildElt(Functions.elementsOf(Functions.nextEntryWithElements(list, 0))[0]);
            stack.initItems();
            var start = Functions.firstPlace(list);
            if (start) {
                stack.moveTo(start);
                stack.pushElt(0);
                if (stackViewTimer.interval > 0)
                    stackViewTimer.start();
            } else {
                debug("FUNCTION - initStack - no sequence to play now");
            }
            clock.start();
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
            stack.leaving(stackViewTimer.interval > 0 ? "duration" : "video-end");
            stack.moveTo(Functions.nextPlace(stack.sequencesToPlay, stack.currentSequence, stack.index));
            if (stack.duplication && stack.duplication !== stack.currentItem) {
                stack.pushElt(stack.duplication);
            } else {
                if (itemsContainer.children.length === 0 || !itemsContainer.children[0])
                    stack.buildElt(stack.currentElement());
                stack.pushElt(0);
                stack.buildElt(Functions.elementAfter(stack.sequencesToPlay, stack.currentSequence, stack.index + 1));
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
            property var enterParam: Transitions.noAnimation
            property var exitParam: Transitions.noAnimation
            // Set by a step back: the next change replays, reversed, the one that
            // brought the leaving composition, whose enter part is kept here.
            property bool backward: false
            property var backwardExitTransition: null

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
                var enterPart = backward ? Transitions.reversedEnterPart(stack.currentSequence, stack.index)
                    : Transitions.enterPart(stack.currentSequence, stack.index, stack.previousSequence);
                var exitPart = backward ? Transitions.reversedExitPart(backwardExitTransition)
                    : Transitions.exitPart(stack.previousSequence, stack.previousIndex);
                backward = false;
                backwardExitTransition = null;
                var sizes = Transitions.scope(mainWindow, stack);
                enterParam = Transitions.parameters(enterPart, sizes, "enter", debug);
                exitParam = Transitions.parameters(exitPart, sizes, "exit", debug);
                return transition;
            }

            // The leaving item is put back as it was; a leaving video stops only now,
            // out of sight, as stopping it in libvlc is slow.
            function transitionFinished(properties) {
                if (stack.isInit || transitioningFinished)
                    return;
                transitioningFinished = true;
                var leaving = properties.exitItem;
                if (leaving) {
                    if (typeof leaving.stopVideo === "function")
                        leaving.stopVideo();
                    leaving.opacity = 1;
                    leaving.rotation = 0;
                    leaving.x = 0;
                    leaving.y = 0;
                }
                transitioningFinished = false;
                transitioning = false;
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
            scheduleSource.fetch(json);
        }

        // A usable document for the address asked for last. A refresh changes the
        // sequences under the composition on screen; they take effect at the next change.
        function take(document, refreshed) {
            if (!refreshed)
                initValues();
            sequences = [];
            if (Functions.isObject(document.schedule)) {
                var schedule = document.schedule;
                sequences = Array.isArray(schedule.sequences) ? schedule.sequences : [];
                scheduleUID = schedule.schedule_uid;
                scheduleIsPrivate = schedule.private !== undefined ? !!schedule.private : false;
            } else {
                if (document.schedule !== undefined)
                    debug("FUNCTION - init - schedule is not an object, reading objects instead");
                buildSequencesArrayWithOldJSON(document);
            }
            keepPlayableParts();
            completePageBuilderSources();
            Trust.dropLocalSources(sequences, json, function (line) { debug(line); });
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

        function buildSequencesArrayWithOldJSON(oldJSON) {
            var entry = {
                diffusion: { weekdays: ["All"], dates: {}, hours: {} },
                sequence: {
                    global_properties: {
                        duration: oldJSON.duration,
                        preloadDuration: oldJSON.preloadDuration,
                        transitions: oldJSON.transitions
                    },
                    elements: Array.isArray(oldJSON.objects) ? oldJSON.objects : []
                }
            };
            sequences = [entry];
        }

        // Drops what cannot be played from a freshly parsed document, so that the
        // rest of the scene only meets entries and elements it can show. Each drop
        // writes a debug line; the well-formed rest plays as usual.
        function keepPlayableParts() {
            var kept = [];
            for (var i = 0; i < sequences.length; ++i) {
                var entry = sequences[i];
                var where = "FUNCTION - keepPlayableParts - sequence " + i;
                if (!Functions.isObject(entry)) {
                    debug(where + " skipped: not an object");
                    continue;
                }
                if (!Functions.isObject(entry.diffusion)) {
                    debug(where + " skipped: no diffusion");
                    continue;
                }
                if (!Functions.isObject(entry.sequence)) {
                    debug(where + " skipped: no sequence");
                    continue;
                }
                if (!Functions.isObject(entry.diffusion.dates))
                    debug(where + ": no dates, no date limit");
                if (!Functions.isObject(entry.diffusion.hours))
                    debug(where + ": no hours, no time limit");
                if (!Functions.isObject(entry.sequence.global_properties)) {
                    debug(where + ": no global_properties, elements use only their own values");
                    entry.sequence.global_properties = {};
                }
                var elements = entry.sequence.elements;
                if (!Array.isArray(elements)) {
                    debug(where + ": no elements");
                    elements = [];
                }
                var playable = [];
                for (var j = 0; j < elements.length; ++j) {
                    var element = elements[j];
                    var what = where + " element " + j;
                    if (!Functions.isObject(element)) {
                        debug(what + " skipped: not an object");
                        continue;
                    }
                    var component = componentFor(element.type);
                    if (!component) {
                        debug(what + " skipped: unknown type " + JSON.stringify(element.type));
                        continue;
                    }
                    if (!Functions.isObject(element.attributes)) {
                        debug(what + " skipped: no attributes");
                        continue;
                    }
                    if (component.status !== Component.Ready) {
                        debug(what + " skipped: " + element.type + " items cannot be built: " + component.errorString().trim());
                        continue;
                    }
                    playable.push(element);
                }
                if (playable.length !== elements.length || !Array.isArray(entry.sequence.elements))
                    entry.sequence.elements = playable;
                kept.push(entry);
            }
            sequences = kept;
        }

        function completePageBuilderSources() {
            for (var i = 0; i < sequences.length; ++i) {
                var elements = Functions.elementsOf(sequences[i]);
                for (var j = 0; j < elements.length; ++j) {
                    var element = elements[j];
                    if (element.type !== "PageBuilder")
                        continue;
                    var source = element.attributes.source;
                    if (source === undefined || source === null)
                        continue;
                    source = hostPort + source;
                    if (source.substring(0, 4) !== "http")
                        source = "http://" + source;
                    element.attributes.source = source;
                }
            }
        }
        function initValues() {
            isInit = true;
            index = 0;
            previousIndex = 0;
            stackViewTimer.stop();
            pushGate.cancel();
            mainWindow.compositionLeft("reload", itemFailed());
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

        // The composition at `place` (see Functions.place) is the one on screen from now on.
        function moveTo(place) {
            currentSequence = place.sequence;
            index = place.index;
            previousSequence = place.previousSequence;
            previousIndex = place.previousIndex;
            stackViewTimer.interval = Functions.timerInterval(Functions.effectiveDuration(currentElement(), currentSequence));
        }

        // An item waiting in the container (by position) or the duplicate.
        function pushElt(elt) {
            var item = (typeof elt === "number") ? itemsContainer.children[elt] : elt;
            if (!item) {
                debug("FUNCTION - pushElt - no item to push");
                return;
            }
            // Announced first: a 0 ms transition ends inside the push, stopping the leaving
            // video (slow in libvlc); the screen changes at the next frame either way.
            announce();
            stack.push({ item: item, replace: true, destroyOnPop: true });
            var element = currentElement();
            if (element && element.type === "Video" && typeof stack.currentItem.startVideo === "function")
                stack.currentItem.startVideo();
        }

        function deviceIdText() {
            return typeof deviceUID === "undefined" || deviceUID === null ? "" : "" + deviceUID;
        }

        function announce() {
            var element = currentElement();
            if (!element)
                return;
            var shown = { type: element.type, duration: Functions.effectiveDuration(element, currentSequence),
                          source: Functions.isObject(element.attributes) ? element.attributes.source : undefined,
                          schedule: scheduleUID, sequence: sequences.indexOf(currentSequence), element: index,
                          device: deviceIdText() };
            if (element.hueColor !== undefined && element.hueColor !== null)
                shown.hueColor = element.hueColor;
            if (element.fragrance !== undefined && element.fragrance !== null)
                shown.fragrance = "on";
            mainWindow.compositionShown(shown);
        }

        function itemFailed() {
            return !!(currentItem && currentItem.failed);
        }

        function leaving(how) {
            mainWindow.compositionLeaving(how, itemFailed());
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
            leaving("remote");
            var shown = currentElement();
            if (shown.type === "Video")
                setTriggerOnScreen(false);
            stackDelegate.backwardExitTransition = Transitions.enterPart(currentSequence, index, previousSequence);
            moveTo(Functions.previousPlace(sequencesToPlay, currentSequence, index));
            stackDelegate.backward = true;

            if (duplication && duplication !== currentItem) {
                pushElt(duplication);
            } else {
                clearItems();
                var item = buildElt(currentElement());
                buildElt(shown);
                if (item)
                    pushElt(item);
            }

            stackViewTimer.stop();
            if (stackViewTimer.interval > 0) {
                if (!paused)
                    stackViewTimer.start();
            } else {
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
            leaving("remote");
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
            mainWindow.compositionPaused();
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
            mainWindow.compositionResumed();
        }

        function playSchedule(scheduleUID) {
            debug("FUNCTION - playSchedule");
            if (scheduleUID === undefined || scheduleUID === null) {
                debug("FUNCTION - playSchedule -> scheduleUID is not defined");
                return;
            }
            json = Trust.scheduleAddress(hostPort, scheduleUID);
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