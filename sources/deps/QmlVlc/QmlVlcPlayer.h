// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "QmlVlcPlayerProxy.h"

// VlcPlayer in QML: a player with a playlist of its own, opened on the shared
// libvlc instance.
class QmlVlcPlayer : public QmlVlcPlayerProxy {
    Q_OBJECT

public:
    explicit QmlVlcPlayer(QObject* parent = nullptr);
    ~QmlVlcPlayer() override;

private:
    libvlc_instance_t* m_libvlc = nullptr;
};
