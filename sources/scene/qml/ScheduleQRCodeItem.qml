// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtQuick.Window 2.3

// The identifier of a public schedule as a QR code in the lower right corner,
// on a white square whose margin serves as the symbol's quiet zone.
Rectangle {
    id: square

    // The window's own size rather than the parent's: the application window
    // sizes its content area from its children, which would make a loop.
    readonly property real windowWidth: Window.width
    readonly property real windowHeight: Window.height

    width: windowWidth * 9.0 / 100.0
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
