// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtQuick.Controls 1.4
import QtQuick.Window 2.2
import "js/functions.js" as Functions
import Player 1.0

ApplicationWindow {
    id: mainWindow
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

    // What the scene shows and why it changes, for the engine's reporter (status datagrams
    // and play log). composition: type, source, duration, hueColor, fragrance, schedule,
    // sequence, element, device. Leaving: an advance is under way; left: the screen was
    // cleared; failed: the item on screen could not show its content. Skipped: an
    // element's item failed before it came on screen, and never showed (reason: why).
    signal compositionShown(var composition)
    signal compositionSkipped(var composition, string reason)
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
        interval: 1000
        onTriggered: initStack()

        // Starts playing the sequences allowed now, one second after a launch.
        function initStack() {
            // Whatever a clock tick built during the start delay is superseded here.
            stack.clearDuplication(true);
            itemsContainer.clear();
            if (Functions.countElements(stack.sequencesToPlay) === 1)
                stack.duplication = stack.buildOnly(stack.sequencesToPlay);
            stack.initItems();
            var start = Functions.firstPlace(stack.sequencesToPlay);
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
        interval: 0
        onTriggered: pushStack()

        // The change to the next composition (or back, for "previous"): timer, video end, failure, remote.
        function pushStack() {
            if (!stack.currentSequence || Functions.elementsOf(stack.currentSequence).length === 0) {
                debug("FUNCTION - pushStack - nothing on screen, nothing to advance");
                return;
            }
            var next = stack.duplication && stack.duplication !== stack.currentItem ? stack.duplication : itemsContainer.children[0];
            if (!pushGate.admit(next))
                return; // pushGate calls again once the next composition has something to show
            var place = stack.target || Functions.placeAfter(stack.sequencesToPlay, stack.currentSequence, stack.index, null);
            if (next && next.failed)
                return stack.skip(next, place);
            stack.leaving(stackViewTimer.interval > 0 ? "duration" : "video-end");
            if (place.back)
                stackDelegate.stepBack();
            stack.moveTo(place);
            if (next && next === stack.duplication) {
                stack.pushElt(next);
            } else {
                if (!next)
                    itemsContainer.build(stack.currentElement());
                stack.pushElt(0);
                itemsContainer.build(Functions.elementAfter(stack.sequencesToPlay, stack.currentSequence, stack.index + 1));
            }
            stack.holdAdvance(stack.paused);
        }
    }

    Timer {
        id: clock
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

    RotatedContent { id: content }

    ItemShelf {
        id: itemsContainer
        parent: content
        anchors.fill: parent
        media: scheduleSource
        onLog: debug(line)
        onFinished: stackViewTimer.pushStack()
        onFailed: stack.leaveFailed(item)
    }

    StackView {
        id: stack
        objectName: "stack"
        parent: content
        anchors.fill: parent

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
        // Where the next change goes when not simply one step on (items skipped, or the
        // remote "previous"), and how many items were skipped in a row since the last one.
        property var target: null
        property int skips: 0

        property var sequences: []
        property var sequencesToPlay: []
        property var scheduleUID: ""
        property bool scheduleIsPrivate: true

        // When set (a Date or milliseconds since the epoch), the instant that the
        // diffusion rules are checked against instead of the schedule source's clock.
        // Only the scene tests set it; the product always runs on the real time.
        property var fixedNow: null

        delegate: ChangeDelegate {
            id: stackDelegate
            sequence: stack.currentSequence
            index: stack.index
            previousSequence: stack.previousSequence
            previousIndex: stack.previousIndex
            window: content
            view: stack
            resetting: stack.isInit
            onLog: debug(line)
        }

        function currentElement() { return Functions.elementsOf(currentSequence)[index]; }
        function init() { scheduleSource.fetch(json); }

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
            var shows = !scheduleIsPrivate && scheduleUID !== undefined && scheduleUID !== null && scheduleUID !== "";
            debug("FUNCTION - init - schedule is " + (shows ? "public => showing" : "private => hiding") + " the qrcode");
            if (typeof applicationEngine !== "undefined")
                shows ? applicationEngine.showQrCode("" + scheduleUID) : applicationEngine.hideQrCode();
            if (!refreshed)
                launch();
        }

        function initValues() {
            isInit = true;
            index = 0;
            previousIndex = 0;
            stackViewTimer.stop();
            pushGate.cancel();
            mainWindow.compositionLeft("reload", !!(currentItem && currentItem.failed));
            stack.clear();
        }

        function initItems() {
            var elements = Functions.allElements(sequencesToPlay);
            for (var i = 0; i < elements.length && itemsContainer.children.length < itemsLimit; ++i)
                itemsContainer.build(elements[i]);
        }

        // Forgets the duplicate. A duplicate still waiting in the container would
        // otherwise be pushed later as if it were the next element, so it goes too.
        function clearDuplication(destroyWaiting) {
            if (destroyWaiting && duplication && duplication.parent === itemsContainer)
                duplication.destroyElt();
            duplication = null;
        }

        function launch() {
            debug("FUNCTION - launch");
            currentSequence = null;
            clearDuplication(false);
            itemsContainer.clear();
            initValues();
            isInit = false;
            stackViewInit.start();
        }

        function shouldPlay(sequence) {
            var now = new Date(fixedNow !== null && fixedNow !== undefined ? fixedNow : scheduleSource.clock.now());
            return Functions.diffusionAllows(sequence, now);
        }

        // The duplicate follows the list of the tick before, the one the stack was built from.
        function updateSequencesToPlay() {
            var list = sequences.filter(function (entry) { return shouldPlay(entry); });
            if (Functions.countElements(sequencesToPlay) !== 1)
                clearDuplication(true);
            else if (!duplication)
                duplication = buildOnly(sequencesToPlay);
            sequencesToPlay = list;
            debug("FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : " + list.length);
        }

        // A single element alone is shown through a second item of its own, so that
        // each advance still changes items and runs its transition.
        function buildOnly(list) {
            return itemsContainer.build(Functions.elementsOf(Functions.nextEntryWithElements(list, 0))[0]);
        }

        // The shelf builds the items; the document's checks ask it which types it can build.
        function componentFor(type) { return itemsContainer.componentFor(type); }

        // The item built for `place` could not show its content: it goes without coming on
        // screen, the composition on screen stays, and the element after it is built.
        function skip(item, place) {
            var skipped = compositionAt(place.sequence, place.index);
            debug("FUNCTION - skip - element " + skipped.element + " of sequence " + skipped.sequence + " skipped: " + item.failure);
            mainWindow.compositionSkipped(skipped, "" + item.failure);
            item.destroyElt();
            if (item === duplication)
                duplication = buildOnly(sequencesToPlay);
            else
                itemsContainer.build(Functions.elementAfter(sequencesToPlay, place.sequence, place.index + 1));
            target = Functions.placeAfter(sequencesToPlay, currentSequence, index, place);
            var delay = Functions.skipDelay(++skips, Functions.countElements(sequencesToPlay), skipped.duration);
            if (delay === 0)
                return stackViewTimer.pushStack();
            stackViewTimer.interval = delay;
            stackViewTimer.start();
        }

        // The composition on screen lost its content (a stream dropped, a video erred): on at once.
        function leaveFailed(item) {
            if (item !== currentItem || !item.failed || paused || pushGate.waiting)
                return;
            debug("FUNCTION - leaveFailed - " + item.failure + ", next composition");
            stackViewTimer.stop();
            stackViewTimer.pushStack();
        }

        // The composition at `place` (see Functions.place) is the one on screen from now on.
        function moveTo(place) {
            target = null;
            skips = 0;
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
            if (typeof currentItem.startVideo === "function")
                currentItem.startVideo();
        }

        // What the datagram and the play log tell of the element at (sequence, i).
        function compositionAt(sequence, i) {
            var device = typeof deviceUID === "undefined" || deviceUID === null ? "" : "" + deviceUID;
            return Functions.composition(Functions.elementsOf(sequence)[i], sequence,
                { schedule: scheduleUID, sequence: sequences.indexOf(sequence), element: i, device: device });
        }

        function announce() {
            var shown = compositionAt(currentSequence, index);
            if (shown)
                mainWindow.compositionShown(shown);
        }

        // Whether the item on screen could show its content counts for the play log.
        function leaving(how) {
            mainWindow.compositionLeaving(how, !!(currentItem && currentItem.failed));
        }

        function setTriggerOnScreen(flag) {
            if (currentItem && typeof currentItem.setNextCompositionTrigger === "function")
                currentItem.setNextCompositionTrigger(flag);
        }

        // Stops (or lets go on) what advances the composition on screen: its timer,
        // or the end of its video.
        function holdAdvance(hold) {
            if (stackViewTimer.interval > 0)
                stackViewTimer.running = !hold;
            else if (currentElement().type === "Video")
                setTriggerOnScreen(!hold);
        }

        // A remote operation acts on the composition on screen, if there is one.
        function onScreen(operation) {
            if (currentSequence && currentElement())
                return true;
            debug("FUNCTION - " + operation + " - nothing on screen, ignored");
            return false;
        }

        function goToPreviousComposition() {
            if (stackDelegate.transitioning || !onScreen("goToPreviousComposition"))
                return;
            debug("FUNCTION - goToPreviousComposition");
            pushGate.cancel();
            stackViewTimer.stop();
            leaving("remote");
            if (currentElement().type === "Video")
                setTriggerOnScreen(false);
            target = Functions.previousPlace(sequencesToPlay, currentSequence, index);
            target.back = true;
            if (!duplication || duplication === currentItem) {
                itemsContainer.clear();
                itemsContainer.build(Functions.elementsOf(target.sequence)[target.index]);
            }
            stackViewTimer.pushStack(); // through the gate, like "next"
        }

        function goToNextComposition() {
            if (stackDelegate.transitioning || !onScreen("goToNextComposition"))
                return;
            debug("FUNCTION - goToNextComposition");
            if (pushGate.waiting) { // the advance is already under way: it stops waiting
                stackViewTimer.pushStack();
                return;
            }
            leaving("remote");
            if (stackViewTimer.interval > 0 && !paused) {
                stackViewTimer.interval = 0; // the running timer fires at once
            } else {
                if (stackViewTimer.interval === 0 && currentElement().type === "Video")
                    setTriggerOnScreen(!paused);
                stackViewTimer.pushStack();
            }
            if (paused)
                stackViewTimer.stop();
        }

        function pausePlayer() {
            debug("FUNCTION - pausePlayer");
            if (paused || !onScreen("pausePlayer"))
                return;
            paused = true;
            pushGate.cancel(); // the advance it held back waits for the resume
            holdAdvance(true);
            mainWindow.compositionPaused();
        }

        function resumePlayer() {
            debug("FUNCTION - resumePlayer");
            if (!paused)
                return;
            if (currentSequence && currentElement())
                holdAdvance(false);
            paused = false;
            mainWindow.compositionResumed();
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
}