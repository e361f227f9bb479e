import QtQuick 2.7

// A scene without a window that records what the engine asks of it: every
// load() and every remote operation called on the object named "stack".
Item {
    property var calls: []

    function load(json, hostPort, bDebug) { calls.push("load(" + json + " " + hostPort + ")"); }
    function takeCalls() { var taken = calls; calls = []; return taken; }

    Item {
        Item {
            objectName: "stack"
            function goToPreviousComposition() { calls.push("goToPreviousComposition"); }
            function goToNextComposition() { calls.push("goToNextComposition"); }
            function pausePlayer() { calls.push("pausePlayer"); }
            function resumePlayer() { calls.push("resumePlayer"); }
            function playSchedule(scheduleUID) { calls.push("playSchedule(" + typeof scheduleUID + ":" + scheduleUID + ")"); }
            function playDefaultSchedule() { calls.push("playDefaultSchedule"); }
        }
    }
}
