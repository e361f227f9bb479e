// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlc.h"

#include <QtQml>

#include "QmlVlcConfig.h"
#include "QmlVlcMediaListPlayer.h"
#include "QmlVlcPlayer.h"
#include "QmlVlcVideoSurface.h"

void RegisterQmlVlcPlayer()
{
    const char* uri = "QmlVlc";
    qmlRegisterUncreatableType<QmlVlcVideoSource>(
        uri, 0, 1, "QmlVlcVideoSource", "QmlVlcVideoSource cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcInput>(uri, 0, 1, "VlcInput", "VlcInput cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcVideo>(uri, 0, 1, "VlcVideo", "VlcVideo cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcAudio>(uri, 0, 1, "VlcAudio", "VlcAudio cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcSubtitle>(uri, 0, 1, "VlcSubtitle", "VlcSubtitle cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcPlaylist>(uri, 0, 1, "VlcPlaylist", "VlcPlaylist cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcMarquee>(uri, 0, 1, "VlcMarquee", "VlcMarquee cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcLogo>(uri, 0, 1, "VlcLogo", "VlcLogo cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcDeinterlace>(
        uri, 0, 1, "VlcDeinterlace", "VlcDeinterlace cannot be instantiated directly");
    qmlRegisterUncreatableType<QmlVlcMedia>(uri, 0, 1, "VlcMediaDesc", "VlcMediaDesc cannot be instantiated directly");
    qmlRegisterType<QmlVlcVideoSurface>(uri, 0, 1, "VlcVideoSurface");
    qmlRegisterType<QmlVlcPlayer>(uri, 0, 1, "VlcPlayer");
    qmlRegisterType<QmlVlcMediaListPlayer>(uri, 0, 1, "VlcMediaListPlayer");
}

void RegisterQmlVlc() { RegisterQmlVlcPlayer(); }

void initQmlVlc()
{
    RegisterQmlVlc();
    // Filters are chosen when the shared instance is created, so before the
    // first player exists. The adjust filter is not among them: a player gets
    // it when one of its adjust values is first set.
    QmlVlcConfig& config = QmlVlcConfig::instance();
    config.enableMarqueeFilter(true);
    config.enableLogoFilter(true);
    config.enableDebug(false);
}
