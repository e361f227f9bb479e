// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideoSource.h"

#include "QmlVlcRetirement.h"
#include "QmlVlcVideoOutput.h"

QmlVlcVideoSource::QmlVlcVideoSource(const std::shared_ptr<vlc::player_core>& player, QObject* parent)
    : QObject(parent)
    , m_videoOutput(new QmlVlcVideoOutput(player))
{
}

// Deleting the output stops its media player (the output holds the last
// reference to it once the player object is gone), which takes libvlc long:
// that happens on the retirement worker, the output cut off from Qt first.
QmlVlcVideoSource::~QmlVlcVideoSource()
{
    QmlVlcVideoOutput* output = m_videoOutput;
    output->retire();
    QmlVlcRetirement::retire([output] { delete output; });
}

void QmlVlcVideoSource::classBegin() { m_videoOutput->init(); }

void QmlVlcVideoSource::componentComplete() { }

void QmlVlcVideoSource::registerVideoSurface(QmlVlcVideoSurface* surface)
{
    m_videoOutput->registerVideoSurface(surface);
}

void QmlVlcVideoSource::unregisterVideoSurface(QmlVlcVideoSurface* surface)
{
    m_videoOutput->unregisterVideoSurface(surface);
}
