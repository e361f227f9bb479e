// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7

// What the screen shows until it has ever had something to show, read from the
// engine's `statusScreen` model. Sizes follow the screen's shorter side so that
// the lines read the same from across the room on any screen, however it hangs.
Rectangle {
    id: status

    // The content it sits in: the screen as it hangs.
    readonly property real unit: Math.min(parent.width, parent.height) / 24

    width: parent.width
    height: parent.height
    visible: statusScreen.shown
    color: "#10161e"

    Column {
        anchors.verticalCenter: parent.verticalCenter
        x: status.unit * 2
        width: status.width - 4 * status.unit
        spacing: status.unit * 0.6

        Text {
            text: qsTr("Waiting for a schedule")
            color: "#ffffff"
            font.pixelSize: status.unit * 1.6
            font.bold: true
        }

        Repeater {
            model: [
                [qsTr("Device"), statusScreen.deviceUid],
                [qsTr("Schedule"), statusScreen.address],
                [qsTr("Last failure"), statusScreen.failure || qsTr("none yet")],
                [qsTr("IP address"), statusScreen.networkAddresses],
                [qsTr("Player version"), statusScreen.version]
            ].concat(statusScreen.clock ? [[qsTr("Clock"), statusScreen.clock]] : [])

            Text {
                width: parent.width
                // Addresses and device names come from the command line and the
                // server: never as rich text.
                textFormat: Text.PlainText
                text: modelData[0] + ": " + modelData[1]
                color: "#e0e0e0"
                font.pixelSize: status.unit
                elide: Text.ElideMiddle
            }
        }
    }
}
