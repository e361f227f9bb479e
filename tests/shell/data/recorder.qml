import QtQuick 2.7

// Stands in for the scene: records what the engine hands to load() and which
// context properties existed while the scene was being created.
Item {
    property int loadCount: 0
    property var lastJson
    property var lastHostPort
    property var lastDebug
    property var seenAtCreation: ({})

    function load(json, hostPort, bDebug) {
        lastJson = json;
        lastHostPort = hostPort;
        lastDebug = bDebug;
        loadCount += 1;
    }

    Component.onCompleted: {
        seenAtCreation = {
            "spinner": typeof spinner !== "undefined" && spinner !== null,
            "qrCode": typeof qrCode !== "undefined" && qrCode !== null,
            "applicationEngine": typeof applicationEngine !== "undefined" && applicationEngine !== null,
            "utils": typeof utils !== "undefined" && utils !== null,
            "deviceUID": typeof deviceUID !== "undefined",
            "hostPort": typeof hostPort !== "undefined"
        };
    }
}
