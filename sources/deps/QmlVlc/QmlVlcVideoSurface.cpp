// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideoSurface.h"

#include <QQuickWindow>

#include "SGVlcVideoNode.h"

QmlVlcVideoSurface::QmlVlcVideoSurface(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
}

QmlVlcVideoSurface::~QmlVlcVideoSurface()
{
    // Leave the output's list first: it calls surfaces without owning them.
    setSource(nullptr);
    m_frame.reset();
}

void QmlVlcVideoSurface::setFillMode(FillMode mode)
{
    if (mode == m_fillMode)
        return;
    m_fillMode = mode;
    update();
    emit fillModeChanged(mode);
}

QmlVlcVideoSource* QmlVlcVideoSurface::source() const { return m_source.data(); }

void QmlVlcVideoSurface::setSource(QmlVlcVideoSource* source)
{
    if (source == this->source())
        return;
    if (QmlVlcVideoSource* old = this->source())
        old->unregisterVideoSurface(this);
    m_source = source;
    if (source)
        source->registerVideoSurface(this);
    emit sourceChanged();
}

void QmlVlcVideoSurface::presentFrame(const std::shared_ptr<const QmlVlcI420Frame>& frame)
{
    // The output presents its newest picture once per display, so a picture
    // comes again when the decoder got ahead of this thread. A frame held here
    // cannot be reused by the pool, so the same frame is the same picture: it
    // is uploaded already, or will be.
    if (frame && frame == m_frame)
        return;
    m_frame = frame;
    m_frameChanged = true;
    update();
}

// Scene-graph synchronisation: the render thread runs this while the GUI
// thread is blocked, so the members are read without a lock.
QSGNode* QmlVlcVideoSurface::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*)
{
    QSGVlcVideoFrameMaterial::noteRenderer();
    auto* node = static_cast<SGVlcVideoNode*>(oldNode);
    const double w = width();
    const double h = height();
    // Nothing to show, or nothing to show it in: the ratios below would divide
    // by zero, so the node goes.
    if (!m_frame || !m_frame->isValid() || w <= 0 || h <= 0) {
        delete node;
        return nullptr;
    }

    const bool newNode = !node;
    if (newNode)
        node = new SGVlcVideoNode;

    QRectF target(0, 0, w, h);
    QRectF source(0, 0, 1, 1);
    if (m_fillMode == PreserveAspectFit || m_fillMode == PreserveAspectCrop) {
        const double srcAR = double(m_frame->width) / m_frame->height;
        const double dstAR = w / h;
        if (m_fillMode == PreserveAspectFit) {
            double fitW = w, fitH = h;
            if (srcAR > dstAR)
                fitH = w / srcAR;
            else if (srcAR < dstAR)
                fitW = srcAR * h;
            target = QRectF((w - fitW) * 0.5, (h - fitH) * 0.5, fitW, fitH);
        } else if (srcAR > dstAR) {
            const double c = (1 - dstAR / srcAR) * 0.5;
            source.setX(c);
            source.setWidth(1 - 2 * c);
        } else if (srcAR < dstAR) {
            const double c = (1 - srcAR / dstAR) * 0.5;
            source.setY(c);
            source.setHeight(1 - 2 * c);
        }
    }

    // A new node has never uploaded anything: it gets the current frame even
    // when that frame is not new to the item.
    if (m_frameChanged || newNode) {
        node->setFrame(m_frame);
        m_frameChanged = false;
    }
    node->setRect(target, source);
    // One luma texel per pixel: the picture at its own size, moved by whole
    // pixels only (not while it turns, scales or slides between pixels).
    bool exact = source == QRectF(0, 0, 1, 1) && target.size() == QSizeF(m_frame->width, m_frame->height);
    if (exact) {
        bool invertible = false;
        const QTransform toScene = itemTransform(nullptr, &invertible);
        const QPointF origin = toScene.map(target.topLeft());
        exact = invertible && toScene.type() <= QTransform::TxTranslate && origin == origin.toPoint() && window()
            && qFuzzyCompare(window()->effectiveDevicePixelRatio(), qreal(1));
    }
    node->setExactScale(exact);
    return node;
}
