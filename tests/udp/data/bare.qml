import QtQuick 2.7

// A scene whose "stack" offers none of the remote operations yet.
Item {
    function load(json, hostPort, bDebug) {}
    Item { objectName: "stack" }
}
