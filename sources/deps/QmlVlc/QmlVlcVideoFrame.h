// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

// One decoded picture in planar YUV 4:2:0: the Y plane, then U, then V, back
// to back in one buffer. Width and height are even; row pitches are not stored
// but follow one rule that the uploader relies on: the Y pitch is the width
// rounded up to 4, the chroma pitch is half the width rounded up to 4.
// A packed frame is one plane of 32-bit pixels instead (bytes B, G, R, X; the
// pitch is four times the width), in yData; the chroma planes are empty.
// Always held through std::shared_ptr: the use count tells the pool whether
// anyone (decoder, display slot, surface, material) still reads it.
struct QmlVlcI420Frame {
    QByteArray buffer;
    uint16_t width = 0;
    uint16_t height = 0;
    char* yData = nullptr;
    uint32_t ySize = 0;
    char* uData = nullptr;
    uint32_t uSize = 0;
    char* vData = nullptr;
    uint32_t vSize = 0;
    bool packed = false;

    void clear();
    bool isValid() const { return width != 0 && height != 0; }
};

// A frame of the same geometry with a buffer of its own; pixels are not copied.
std::shared_ptr<QmlVlcI420Frame> cloneFrame(const std::shared_ptr<QmlVlcI420Frame>& from);

// Rounds up to the next multiple of 4 (the default OpenGL unpack alignment).
inline unsigned QmlVlcPitch(unsigned bytes) { return (bytes & 3) ? (bytes & ~3u) + 4 : bytes; }
