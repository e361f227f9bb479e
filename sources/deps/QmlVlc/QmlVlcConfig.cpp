// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcConfig.h"
#include "QmlVlcLog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <vector>

Q_LOGGING_CATEGORY(lcVideo, "player.video", QtInfoMsg)

bool videoDebugEnabled() { return lcVideo().isDebugEnabled() || (qApp && qApp->property("bDebug") == QVariant(true)); }

namespace {

// For measurements (bench/): a 10 ms timer on the GUI thread; a tick that
// comes late by more than 20 ms says how long something held the thread, and
// when it let go (CLOCK_MONOTONIC, ms).
class GuiStallMeter : public QObject {
public:
    explicit GuiStallMeter(QObject* parent)
        : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &GuiStallMeter::tick);
        m_clock.start();
        m_timer.start(tickMs);
    }

private:
    static constexpr qint64 tickMs = 10;

    void tick()
    {
        const qint64 now = m_clock.elapsed();
        const qint64 late = now - m_last - tickMs;
        if (late > 20)
            qDebug("gui thread held %lld ms until %lld", late, m_clock.msecsSinceReference() + now);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
};

struct TrustedOption {
    const char* name;
    const char* value; // null: any value
};

const TrustedOption trustedOptions[] = {
    { ":rtsp-http-port", nullptr },
    { ":avformat-format", "mxg" },
    { ":demux", "h264" },
    { ":h264-fps", nullptr },
};

} // namespace

QmlVlcConfig& QmlVlcConfig::instance()
{
    // Never destroyed: at process exit libvlc may already be gone. The instance
    // is released when the application quits (see createLibvlcInstance).
    static QmlVlcConfig config;
    return config;
}

libvlc_instance_t* QmlVlcConfig::createLibvlcInstance()
{
    if (m_instance) {
        ++m_instanceUsers;
        return m_instance;
    }

    QList<QByteArray> args;
    if (m_networkCacheTime >= 0) {
        args << "--network-caching" << QByteArray::number(m_networkCacheTime);
    }
    QByteArray subFilters;
    if (m_marqueeFilter)
        subFilters = "marq";
    if (m_logoFilter) {
        if (!subFilters.isEmpty())
            subFilters += ':';
        subFilters += "logo";
    }
    if (!subFilters.isEmpty())
        args << "--sub-filter=" + subFilters;
    if (m_debug)
        args << "-vvv";
    if (m_noVideoTitleShow)
        args << "--no-video-title-show";
    if (m_hardwareAcceleration)
        args << "--ffmpeg-hw"
             << "--avcodec-hw=any";

    std::vector<const char*> argv;
    for (const QByteArray& a : args)
        argv.push_back(a.constData());

    // A failed creation still counts as one use, so that the caller's release
    // keeps the count balanced; the next creation tries libvlc again.
    m_instance = libvlc_new(int(argv.size()), argv.data());
    QmlVlcRouteLog(m_instance);
    m_instanceUsers = 1;
    // Creating the instance costs milliseconds of the GUI thread (its plugin
    // bank), so it is kept between players, for as long as the application
    // runs, and let go only when the last player has gone after that.
    if (m_instance && QCoreApplication::instance() && !m_quitHooked) {
        m_quitHooked = true;
        if (videoDebugEnabled())
            new GuiStallMeter(this);
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            m_quitting = true;
            releaseUnused();
        });
    }
    return m_instance;
}

void QmlVlcConfig::releaseLibvlcInstance(libvlc_instance_t* instance)
{
    if (m_instanceUsers == 0 || instance != m_instance)
        return;
    --m_instanceUsers;
    releaseUnused();
}

void QmlVlcConfig::releaseUnused()
{
    // Without an application (tools, tests without one) nothing announces the
    // end: the instance goes with its last player, as it always did.
    if (m_instanceUsers == 0 && m_instance && (m_quitting || !m_quitHooked)) {
        libvlc_release(m_instance);
        m_instance = nullptr;
    }
}

bool QmlVlcConfig::isOptionTrusted(const QString& option) const
{
    if (m_trustedEnvironment)
        return true;
    const QStringList parts = option.split(QLatin1Char('='), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return false;
    const QString name = parts[0].trimmed();
    const QString value = parts[1].trimmed();
    for (const TrustedOption& t : trustedOptions) {
        if (name == QLatin1String(t.name) && (!t.value || value == QLatin1String(t.value)))
            return true;
    }
    return false;
}
