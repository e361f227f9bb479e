// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <vlc/vlc.h>

// Debug lines of the video path (decoder in use, frame counters every second):
// on with --verbose, or with QT_LOGGING_RULES="player.video.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcVideo)
bool videoDebugEnabled();

// The libvlc start options of the process and the one libvlc instance that
// every player object shares. The options only take effect when the instance
// is created, so they are set before the first player exists. GUI thread only.
class QmlVlcConfig : public QObject {
    Q_OBJECT

public:
    static QmlVlcConfig& instance();

    void setNetworkCacheTime(int ms) { m_networkCacheTime = ms; }
    void enableMarqueeFilter(bool enable) { m_marqueeFilter = enable; }
    void enableLogoFilter(bool enable) { m_logoFilter = enable; }
    void enableDebug(bool enable) { m_debug = enable; }
    void enableNoVideoTitleShow(bool enable) { m_noVideoTitleShow = enable; }
    void enableHardwareAcceleration(bool enable) { m_hardwareAcceleration = enable; }
    void setTrustedEnvironment(bool trusted) { m_trustedEnvironment = trusted; }
    bool trustedEnvironment() const { return m_trustedEnvironment; }

    // The shared instance, created on first use; null when libvlc cannot start
    // (typically its plugins are missing). Every call is one use to give back.
    // With an application object the instance outlives its players until the
    // application quits.
    libvlc_instance_t* createLibvlcInstance();
    void releaseLibvlcInstance(libvlc_instance_t* instance);

    bool isOptionTrusted(const QString& option) const;

private:
    QmlVlcConfig() = default;
    void releaseUnused();

    int m_networkCacheTime = -1;
    bool m_marqueeFilter = false;
    bool m_logoFilter = false;
    bool m_debug = false;
    bool m_noVideoTitleShow = true;
    bool m_hardwareAcceleration = false;
    bool m_trustedEnvironment = false;
    int m_instanceUsers = 0;
    libvlc_instance_t* m_instance = nullptr;
    bool m_quitHooked = false;
    bool m_quitting = false;
};
