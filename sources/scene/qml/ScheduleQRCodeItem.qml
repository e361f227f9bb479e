// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7

// The identifier of a public schedule as a QR code in the lower right corner,
// on a white square whose margin serves as the symbol's quiet zone.
Rectangle {
    id: square

    // The size of the content it sits in: the screen as it hangs. The symbol keeps
    // its size whichever way the screen hangs.
    readonly property real windowWidth: parent.width
    readonly property real windowHeight: parent.height

    width: Math.max(windowWidth, windowHeight) * 9.0 / 100.0
    height: width
    x: windowWidth - 1.5 * width
    y: windowHeight - 1.5 * width
    color: "white"
    visible: qrCode.visible

    QRCode {
        objectName: "qrCode"
        width: square.width - 5
        height: width
        x: (square.width - width) * 75 / 100
        y: (square.width - width) * 75 / 100
        level: "H"
        value: qrCode.value
    }
}
