// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSGGeometryNode>
#include <QSGMaterial>
#include <QSGMaterialShader>
#include <QSize>

#include <atomic>
#include <memory>

#include "QmlVlcVideoFrame.h"

class QSGVlcVideoFrameMaterialShader : public QSGMaterialShader {
public:
    explicit QSGVlcVideoFrameMaterialShader(bool packed)
        : m_packed(packed)
    {
    }
    ~QSGVlcVideoFrameMaterialShader() override = default;

    void updateState(const RenderState& state, QSGMaterial* newMaterial, QSGMaterial* oldMaterial) override;
    char const* const* attributeNames() const override;

protected:
    void initialize() override;
    const char* vertexShader() const override;
    const char* fragmentShader() const override;

private:
    bool m_packed;
    int m_matrixLocation = -1;
    int m_rgbMatrixLocation = -1;
    int m_opacityLocation = -1;
    int m_yPlaneTexLocation = -1;
    int m_uPlaneTexLocation = -1;
    int m_vPlaneTexLocation = -1;
};

// Owns the plane textures of one node: three for planar frames, the first
// alone for packed ones. Render thread only, except setFrame, which runs
// during synchronisation.
class QSGVlcVideoFrameMaterial : public QSGMaterial {
public:
    explicit QSGVlcVideoFrameMaterial(bool packed);
    ~QSGVlcVideoFrameMaterial() override;

    QSGMaterialType* type() const override;
    QSGMaterialShader* createShader() const override;
    int compare(const QSGMaterial* other) const override;

    void setFrame(const std::shared_ptr<const QmlVlcI420Frame>& frame) { m_frame = frame; }
    // Each luma texel lands on exactly one pixel: sampling the nearest texel
    // gives the same picture as filtering, at a fraction of the cost of a
    // software rasteriser.
    void setExactScale(bool exact) { m_exactScale = exact; }
    void bindPlanes();

    bool isPacked() const { return m_packed; }

    // Frames uploaded by all materials of the process (for measurements).
    static quint64 uploadedFrames() { return s_uploads.load(); }

    // Whether the scene graph draws with a software rasteriser: noted by the
    // render thread (with its context current) before any video is drawn,
    // read by libvlc's threads when they choose a picture format.
    static void noteRenderer();
    static bool softwareRenderer() { return s_softwareRenderer.load() > 0; }
    // Chooses the packed path (or not) for the formats negotiated from now on.
    static void setSoftwareRenderer(bool software) { s_softwareRenderer = software ? 1 : 0; }

private:
    // size: the plane texture's allocated size, kept up to date here.
    static void bindPlane(unsigned textureUnit, unsigned textureName, const char* planeData, quint16 width,
        quint16 height, unsigned format, QSize& size);

    std::shared_ptr<const QmlVlcI420Frame> m_frame;
    quint32 m_planeTextures[3] = { 0, 0, 0 };
    QSize m_planeSizes[3];
    bool m_exactScale = false;
    const bool m_packed;
    int m_lumaFilter = 0; // as last set on the luma texture, 0 before
    static std::atomic<quint64> s_uploads;
    static std::atomic<int> s_softwareRenderer; // -1 until noted
};

class SGVlcVideoNode : public QSGGeometryNode {
public:
    SGVlcVideoNode();

    void setFrame(const std::shared_ptr<const QmlVlcI420Frame>& frame);
    void setRect(const QRectF& rect, const QRectF& sourceRect);
    void setExactScale(bool exact);

private:
    QSGGeometry m_geometry;
    QSGVlcVideoFrameMaterial m_planarMaterial { false };
    QSGVlcVideoFrameMaterial m_packedMaterial { true };
};
