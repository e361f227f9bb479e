import QtQuick 2.7

// A scene with nothing named "stack" at all.
Item {
    function load(json, hostPort, bDebug) {}
}
