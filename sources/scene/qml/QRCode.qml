// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import "qrcode.js" as QRCodeEncoder

// A QR Code symbol of `value`, drawn from the top-left corner in whole-pixel
// modules, with no quiet zone of its own.
Canvas {
    id: canvas

    property color background: "white"
    property color foreground: "black"
    property string level: "L"
    property string value: ""

    // The overlay places the canvas at fractional coordinates; sampling its
    // texture without filtering keeps the module edges sharp for a camera.
    smooth: false

    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()
    onBackgroundChanged: requestPaint()
    onForegroundChanged: requestPaint()
    onLevelChanged: requestPaint()
    onValueChanged: requestPaint()

    onPaint: {
        var ctx = getContext("2d");
        ctx.clearRect(0, 0, width, height);
        var side = Math.min(width, height);
        if (side <= 0)
            return;
        ctx.fillStyle = background;
        ctx.fillRect(0, 0, side, side);

        // A value too long for any version leaves the background alone.
        var symbol = QRCodeEncoder.encode(value, level);
        if (symbol === null)
            return;
        var moduleSize = Math.floor(side / symbol.size);
        if (moduleSize < 1)
            return;

        // One rectangle per horizontal run of dark modules keeps large
        // versions quick to paint.
        ctx.fillStyle = foreground;
        for (var y = 0; y < symbol.size; ++y) {
            var row = symbol.modules[y];
            var x = 0;
            while (x < symbol.size) {
                if (!row[x]) {
                    ++x;
                    continue;
                }
                var start = x;
                while (x < symbol.size && row[x])
                    ++x;
                ctx.fillRect(start * moduleSize, y * moduleSize, (x - start) * moduleSize, moduleSize);
            }
        }
    }
}
