// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QQmlParserStatus>

#include <memory>

#include "vlc_player.h"

class QmlVlcVideoOutput;
class QmlVlcVideoSurface;

// Base of every player object that can feed VlcVideoSurface items: owns the
// video output of its player and lets surfaces register with it.
class QmlVlcVideoSource : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)

public:
    QmlVlcVideoSource(const std::shared_ptr<vlc::player_core>& player, QObject* parent = nullptr);
    ~QmlVlcVideoSource() override;

    // The QML engine calls classBegin while it creates the object; the player
    // must be open by then.
    void classBegin() override;
    void componentComplete() override;

    virtual void registerVideoSurface(QmlVlcVideoSurface* surface);
    virtual void unregisterVideoSurface(QmlVlcVideoSurface* surface);

    QmlVlcVideoOutput* videoOutput() const { return m_videoOutput; }

private:
    QmlVlcVideoOutput* m_videoOutput;
};
