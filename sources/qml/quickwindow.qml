import QtQuick 2.7
import QtQuick.Controls 1.4
import QtQuick.Window 2.2

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    title: "StackView"
    visible: true
    color: "#000000"
    visibility: "FullScreen"

    property var defaultJson: null
    property bool bDebug: false

    function load(json, hostPort, bDebug) {
        mainWindow.bDebug = bDebug;
        stack.hostPort = hostPort;
        stack.json = json;
        debug("FUNCTION - load - json : " + json);
    }

    function debug(str) {
        if (bDebug)
            console.log(new Date().toLocaleString(Qt.locale(), "yyyy-MM-dd hh:mm:ss") + " - DEBUG : " + str);
    }

    StackView {
        id: stack
        objectName: "stack"
        anchors.fill: parent
        property string json: ""
        property string hostPort: "localhost:80"
    }
}
