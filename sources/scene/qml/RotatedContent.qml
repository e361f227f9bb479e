// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtQuick.Window 2.3

// Everything the screen shows, laid out for the screen as it hangs (in portrait
// for a quarter turn) and turned clockwise onto the window by the engine's
// `screenSettings`. The scene puts its stack and its shelf in here; the overlays
// are here already, above them. A single transform at the root: no layer, no
// offscreen texture, nothing more to draw per frame.
Item {
    id: content

    readonly property int degrees: typeof screenSettings !== "undefined" && screenSettings ? screenSettings.rotation : 0
    readonly property bool quarterTurn: degrees === 90 || degrees === 270

    // The window's own size rather than the parent's: the application window
    // sizes its content area from its children, which would make a loop.
    width: quarterTurn ? Window.height : Window.width
    height: quarterTurn ? Window.width : Window.height
    x: (Window.width - width) / 2
    y: (Window.height - height) / 2
    rotation: degrees

    // Above the compositions, below the banner and the QR code.
    StatusScreenItem { z: 1 }
    SpinnerItem { z: 1 }
    ScheduleQRCodeItem { z: 1 }
}
