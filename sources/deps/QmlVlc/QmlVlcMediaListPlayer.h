// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "QmlVlcMediaListPlayerProxy.h"

// VlcMediaListPlayer in QML, opened on the shared libvlc instance.
class QmlVlcMediaListPlayer : public QmlVlcMediaListPlayerProxy {
    Q_OBJECT

public:
    explicit QmlVlcMediaListPlayer(QObject* parent = nullptr);
    ~QmlVlcMediaListPlayer() override;

private:
    libvlc_instance_t* m_libvlc = nullptr;
};
