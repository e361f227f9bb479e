// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtQuick.Controls 1.4

// The banner in the top right corner: busy indicator, icon and a line of text,
// all read from the engine's `spinner` model. It grows to the left when the
// text needs more room than the minimum width.
Rectangle {
    id: banner

    // The width of the content it sits in: the screen as it hangs.
    readonly property real windowWidth: parent.width

    height: 80
    width: Math.max(320, (spinner.busy ? indicator.implicitWidth : 0)
                         + (spinner.imageVisible ? icon.width : 0)
                         + label.paintedWidth + 20)
    x: windowWidth - width - 10
    y: 10
    visible: spinner.running
    color: spinner.color
    radius: 10

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 10
        // The icon is as tall as the row; the row takes its height from the
        // other two so that the icon cannot feed back into it.
        height: Math.max(indicator.implicitHeight, label.implicitHeight)

        BusyIndicator {
            id: indicator
            objectName: "spinner"
            anchors.verticalCenter: parent.verticalCenter
            // Hidden, it would still fade on the render thread at every banner,
            // drawing frames that show nothing new.
            running: spinner.running && spinner.busy
            visible: spinner.busy
        }

        Image {
            id: icon
            objectName: "icon"
            anchors.verticalCenter: parent.verticalCenter
            width: row.height
            height: row.height
            fillMode: Image.PreserveAspectFit
            smooth: true
            mipmap: true
            // A relative path such as "images/info.png" resolves against this
            // file, which sits beside the scene at the root of the resources.
            source: spinner.imageSource
            visible: spinner.imageVisible
        }

        Text {
            id: label
            objectName: "text"
            anchors.verticalCenter: parent.verticalCenter
            text: spinner.text
            // The text comes from any host on the LAN: as rich text it could show
            // local images (<img src="file:...">) on the screen.
            textFormat: Text.PlainText
            color: spinner.textColor
            font.family: "Verdana"
            font.pointSize: 24
        }
    }
}
