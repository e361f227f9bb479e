import QtQuick 2.7

// A scene without a window that records what the engine asks of it: every
// load() and every remote operation called on the object named "stack".
Item {
    id: root
    property var loads: []

    function load(json, hostPort, bDebug) {
        loads.push({ "json": json, "hostPort": hostPort, "bDebug": bDebug });
    }

    function takeLoads() {
        var taken = loads;
        loads = [];
        return taken;
    }

    Item {
        Item {
            id: stack
            objectName: "stack"
            property var calls: []
            // When set, playSchedule/playDefaultSchedule raise the banner the way a
            // scene that reports its own progress would.
            property bool bannerOnPlay: false

            function record(call) {
                calls.push(call);
            }

            function takeCalls() {
                var taken = calls;
                calls = [];
                return taken;
            }

            function goToPreviousComposition() { record("goToPreviousComposition"); }
            function goToNextComposition() { record("goToNextComposition"); }
            function pausePlayer() { record("pausePlayer"); }
            function resumePlayer() { record("resumePlayer"); }
            function playSchedule(scheduleUID) {
                record("playSchedule(" + typeof scheduleUID + ":" + scheduleUID + ")");
                if (bannerOnPlay) {
                    spinner.text = "Loading";
                    spinner.running = true;
                }
            }
            function playDefaultSchedule() {
                record("playDefaultSchedule");
                if (bannerOnPlay) {
                    spinner.text = "Loading";
                    spinner.running = true;
                }
            }
        }
    }
}
