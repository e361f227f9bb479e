// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideoSource.h"

#include "QmlVlcVideoOutput.h"

QmlVlcVideoSource::QmlVlcVideoSource(const std::shared_ptr<vlc::player_core>& player, QObject* parent)
    : QObject(parent)
    , m_videoOutput(new QmlVlcVideoOutput(player))
{
}

QmlVlcVideoSource::~QmlVlcVideoSource() { delete m_videoOutput; }

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
