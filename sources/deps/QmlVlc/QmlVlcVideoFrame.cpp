// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideoFrame.h"

void QmlVlcI420Frame::clear()
{
    width = 0;
    height = 0;
    yData = uData = vData = nullptr;
    ySize = uSize = vSize = 0;
    packed = false;
}

std::shared_ptr<QmlVlcI420Frame> cloneFrame(const std::shared_ptr<QmlVlcI420Frame>& from)
{
    auto to = std::make_shared<QmlVlcI420Frame>();
    to->buffer.resize(from->buffer.size());
    to->width = from->width;
    to->height = from->height;
    to->ySize = from->ySize;
    to->uSize = from->uSize;
    to->vSize = from->vSize;
    to->packed = from->packed;
    to->yData = to->buffer.data();
    to->uData = to->yData + to->ySize;
    to->vData = to->uData + to->uSize;
    return to;
}
