// SPDX-License-Identifier: GPL-2.0-or-later
#include "SGVlcVideoNode.h"

#include <QMatrix4x4>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <cstring>

std::atomic<quint64> QSGVlcVideoFrameMaterial::s_uploads { 0 };
std::atomic<int> QSGVlcVideoFrameMaterial::s_softwareRenderer { -1 };

namespace {

// Limited-range BT.601 to RGB. The shader multiplies the row vector
// (y - 16/256, u - .5, v - .5, 1) by this matrix, so column j gives output j.
const QMatrix4x4& rgbMatrix()
{
    static const QMatrix4x4 matrix(
        1.164f, 1.164f, 1.164f, 0.f, 0.f, -0.391f, 2.018f, 0.f, 1.596f, -0.813f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f);
    return matrix;
}

} // namespace

// -------------------------------------------------------------------- shader

void QSGVlcVideoFrameMaterialShader::updateState(const RenderState& state, QSGMaterial* newMaterial, QSGMaterial*)
{
    if (state.isOpacityDirty())
        program()->setUniformValue(m_opacityLocation, GLfloat(state.opacity()));
    if (state.isMatrixDirty())
        program()->setUniformValue(m_matrixLocation, state.combinedMatrix());
    program()->setUniformValue(m_yPlaneTexLocation, 0);
    if (!m_packed) {
        program()->setUniformValue(m_rgbMatrixLocation, rgbMatrix());
        program()->setUniformValue(m_uPlaneTexLocation, 1);
        program()->setUniformValue(m_vPlaneTexLocation, 2);
    }
    static_cast<QSGVlcVideoFrameMaterial*>(newMaterial)->bindPlanes();
}

char const* const* QSGVlcVideoFrameMaterialShader::attributeNames() const
{
    static const char* const names[] = { "a_vertex", "a_texCoord", nullptr };
    return names;
}

void QSGVlcVideoFrameMaterialShader::initialize()
{
    m_matrixLocation = program()->uniformLocation("matrix");
    m_opacityLocation = program()->uniformLocation("opacity");
    m_yPlaneTexLocation = program()->uniformLocation("yPlaneTex");
    if (!m_packed) {
        m_rgbMatrixLocation = program()->uniformLocation("rgbMatrix");
        m_uPlaneTexLocation = program()->uniformLocation("uPlaneTex");
        m_vPlaneTexLocation = program()->uniformLocation("vPlaneTex");
    }
}

const char* QSGVlcVideoFrameMaterialShader::vertexShader() const
{
    return "uniform highp mat4 matrix;"
           "attribute highp vec4 a_vertex;"
           "attribute highp vec2 a_texCoord;"
           "varying highp vec2 v_texCoord;"
           "void main() {"
           "    v_texCoord = a_texCoord;"
           "    gl_Position = matrix * a_vertex;"
           "}";
}

const char* QSGVlcVideoFrameMaterialShader::fragmentShader() const
{
    // Packed pixels are uploaded as RGBA although their bytes are B, G, R, X:
    // swapping in the shader costs nothing and needs no BGRA extension.
    if (m_packed)
        return "uniform lowp float opacity;"
               "uniform sampler2D yPlaneTex;"
               "varying highp vec2 v_texCoord;"
               "void main() {"
               "    gl_FragColor = vec4( texture2D( yPlaneTex, v_texCoord ).bgr, 1. ) * opacity;"
               "}";
    return "uniform mediump mat4 rgbMatrix;"
           "uniform lowp float opacity;"
           "uniform sampler2D yPlaneTex;"
           "uniform sampler2D uPlaneTex;"
           "uniform sampler2D vPlaneTex;"
           "varying highp vec2 v_texCoord;"
           "void main() {"
           "    mediump float y = texture2D( yPlaneTex, v_texCoord ).r;"
           "    mediump float u = texture2D( uPlaneTex, v_texCoord ).r;"
           "    mediump float v = texture2D( vPlaneTex, v_texCoord ).r;"
           "    gl_FragColor = vec4( y - .0625, u - .5, v - .5, 1. ) * rgbMatrix * opacity;"
           "}";
}

// ------------------------------------------------------------------ material

QSGVlcVideoFrameMaterial::QSGVlcVideoFrameMaterial(bool packed)
    : m_packed(packed)
{
    setFlag(Blending, false);
}

void QSGVlcVideoFrameMaterial::noteRenderer()
{
    const QOpenGLContext* context = QOpenGLContext::currentContext();
    if (s_softwareRenderer.load() >= 0 || !context)
        return;
    const auto* renderer = reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
    const bool software = renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
    int unknown = -1;
    s_softwareRenderer.compare_exchange_strong(unknown, software ? 1 : 0);
}

// Render thread, with the scene graph's context current.
QSGVlcVideoFrameMaterial::~QSGVlcVideoFrameMaterial()
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (context && (m_planeTextures[0] || m_planeTextures[1] || m_planeTextures[2]))
        context->functions()->glDeleteTextures(3, m_planeTextures);
}

QSGMaterialType* QSGVlcVideoFrameMaterial::type() const
{
    static QSGMaterialType planar, packed;
    return m_packed ? &packed : &planar;
}

QSGMaterialShader* QSGVlcVideoFrameMaterial::createShader() const
{
    return new QSGVlcVideoFrameMaterialShader(m_packed);
}

int QSGVlcVideoFrameMaterial::compare(const QSGMaterial* other) const
{
    const auto* m = static_cast<const QSGVlcVideoFrameMaterial*>(other);
    for (int i = 0; i < 3; ++i) {
        if (m_planeTextures[i] != m->m_planeTextures[i])
            return int(m_planeTextures[i] - m->m_planeTextures[i]);
    }
    // Two materials that have not created their textures yet are still two
    // pictures: were they equal, the renderer would merge them into one batch
    // and only one of them would ever upload.
    if (!m_planeTextures[0] && this != m)
        return this < m ? -1 : 1;
    return 0;
}

void QSGVlcVideoFrameMaterial::bindPlanes()
{
    if (!m_planeTextures[0] && !m_planeTextures[1] && !m_planeTextures[2])
        QOpenGLContext::currentContext()->functions()->glGenTextures(3, m_planeTextures);

    // Once uploaded the frame is not needed here any more; dropping it lets the
    // output's pool give its memory back to the decoder.
    std::shared_ptr<const QmlVlcI420Frame> frame;
    frame.swap(m_frame);

    if (frame && frame->isValid()) {
        const quint16 w = frame->width;
        const quint16 h = frame->height;
        // The output lays each row out at a multiple of 4 bytes (QmlVlcPitch),
        // which is what an unpack alignment of 4 reads, whatever the width of a
        // plane. Other GL users of the context (the web engine) may leave other
        // unpack state behind: set it here and give it back afterwards.
        QOpenGLContext* context = QOpenGLContext::currentContext();
        QOpenGLFunctions* f = context->functions();
        const bool hasRowLength = !context->isOpenGLES() || context->format().majorVersion() >= 3;
        GLint alignment = 4, rowLength = 0;
        f->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        if (hasRowLength) {
            f->glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
            f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        }
        if (!m_packed) {
            bindPlane(GL_TEXTURE1, m_planeTextures[1], frame->uData, w >> 1, h >> 1, GL_LUMINANCE, m_planeSizes[1]);
            bindPlane(GL_TEXTURE2, m_planeTextures[2], frame->vData, w >> 1, h >> 1, GL_LUMINANCE, m_planeSizes[2]);
        }
        const QSize lumaSize = m_planeSizes[0];
        bindPlane(
            GL_TEXTURE0, m_planeTextures[0], frame->yData, w, h, m_packed ? GL_RGBA : GL_LUMINANCE, m_planeSizes[0]);
        if (m_planeSizes[0] != lumaSize)
            m_lumaFilter = GL_LINEAR;
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        if (hasRowLength)
            f->glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        ++s_uploads;
    } else {
        // Nothing new: bind what was uploaded last.
        if (!m_packed) {
            bindPlane(GL_TEXTURE1, m_planeTextures[1], nullptr, 0, 0, 0, m_planeSizes[1]);
            bindPlane(GL_TEXTURE2, m_planeTextures[2], nullptr, 0, 0, 0, m_planeSizes[2]);
        }
        bindPlane(GL_TEXTURE0, m_planeTextures[0], nullptr, 0, 0, 0, m_planeSizes[0]);
    }
    // The luma texture is bound last, on unit 0.
    const int lumaFilter = m_exactScale ? GL_NEAREST : GL_LINEAR;
    if (lumaFilter != m_lumaFilter && !m_planeSizes[0].isEmpty()) {
        QOpenGLFunctions* f = QOpenGLContext::currentContext()->functions();
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, lumaFilter);
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, lumaFilter);
        m_lumaFilter = lumaFilter;
    }
}

void QSGVlcVideoFrameMaterial::bindPlane(unsigned textureUnit, unsigned textureName, const char* planeData,
    quint16 width, quint16 height, unsigned format, QSize& size)
{
    QOpenGLFunctions* f = QOpenGLContext::currentContext()->functions();
    f->glActiveTexture(textureUnit);
    f->glBindTexture(GL_TEXTURE_2D, textureName);
    if (!planeData)
        return;
    if (size == QSize(width, height)) {
        // Same geometry as the last picture: overwrite the pixels in place.
        // Specifying the texture anew would have the driver free and allocate
        // its storage on every frame (a software renderer then also faults in
        // every page of the new block).
        f->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, planeData);
        return;
    }
    f->glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE, planeData);
    // A new texture filters linearly until told otherwise (bindPlanes).
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    size = QSize(width, height);
}

// ---------------------------------------------------------------------- node

SGVlcVideoNode::SGVlcVideoNode()
    : m_geometry(QSGGeometry::defaultAttributes_TexturedPoint2D(), 4)
{
    setGeometry(&m_geometry);
    setMaterial(&m_planarMaterial);
}

void SGVlcVideoNode::setFrame(const std::shared_ptr<const QmlVlcI420Frame>& frame)
{
    auto* material = frame && frame->packed ? &m_packedMaterial : &m_planarMaterial;
    if (material != this->material())
        setMaterial(material);
    material->setFrame(frame);
    markDirty(QSGNode::DirtyMaterial);
}

void SGVlcVideoNode::setExactScale(bool exact)
{
    m_planarMaterial.setExactScale(exact);
    m_packedMaterial.setExactScale(exact);
    markDirty(QSGNode::DirtyMaterial);
}

void SGVlcVideoNode::setRect(const QRectF& rect, const QRectF& sourceRect)
{
    QSGGeometry::updateTexturedRectGeometry(&m_geometry, rect, sourceRect);
    markDirty(QSGNode::DirtyGeometry);
}
