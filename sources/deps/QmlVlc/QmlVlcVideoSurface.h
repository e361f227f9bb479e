// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPointer>
#include <QQuickItem>

#include <memory>

#include "QmlVlcVideoFrame.h"
#include "QmlVlcVideoSource.h"

// Draws the newest frame of its source player in the scene graph, fitted into
// the item by fillMode. YUV becomes RGB on the GPU, or in libvlc before the
// upload when the scene graph renders in software.
class QmlVlcVideoSurface : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(FillMode fillMode READ fillMode WRITE setFillMode NOTIFY fillModeChanged)
    Q_PROPERTY(QmlVlcVideoSource* source READ source WRITE setSource NOTIFY sourceChanged)

public:
    enum FillMode {
        Stretch = 0,
        PreserveAspectFit = 1,
        PreserveAspectCrop = 2,
    };
    Q_ENUM(FillMode)

    explicit QmlVlcVideoSurface(QQuickItem* parent = nullptr);
    ~QmlVlcVideoSurface() override;

    FillMode fillMode() const { return m_fillMode; }
    void setFillMode(FillMode mode);

    QmlVlcVideoSource* source() const;
    void setSource(QmlVlcVideoSource* source);

    // The frame this surface shows (GUI thread); empty when there is none.
    std::shared_ptr<const QmlVlcI420Frame> frame() const { return m_frame; }

public slots:
    // GUI thread, called directly by the source's output; an empty frame
    // clears the picture.
    void presentFrame(const std::shared_ptr<const QmlVlcI420Frame>& frame);

signals:
    void fillModeChanged(FillMode mode);
    void sourceChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;

private:
    FillMode m_fillMode = PreserveAspectFit;
    QPointer<QmlVlcVideoSource> m_source;
    bool m_frameChanged = false;
    std::shared_ptr<const QmlVlcI420Frame> m_frame;
};
