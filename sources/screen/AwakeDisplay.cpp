// SPDX-License-Identifier: GPL-2.0-or-later
#include "AwakeDisplay.h"

#include <QDebug>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// Last: Xlib's macros (None, Bool, Status, ...) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

namespace {

int signalPipe[2] = { -1, -1 };
const int endSignals[] = { SIGTERM, SIGINT, SIGHUP };

// Only what is safe in a signal handler: the number goes to the GUI thread.
void onEndSignal(int signal)
{
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

} // namespace

AwakeDisplay::AwakeDisplay(QObject* parent)
    : QObject(parent)
{
}

AwakeDisplay::~AwakeDisplay()
{
    restore();
    if (m_display)
        XCloseDisplay(m_display);
}

bool AwakeDisplay::start()
{
    if (m_display || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    // A connection of our own, kept open for the player's lifetime: the server
    // ends a screen-saver suspension when the client that asked for it goes.
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        qWarning() << "display: cannot reach the X server to keep the screen awake";
        return false;
    }
    int event = 0;
    int error = 0;
    if (XScreenSaverQueryExtension(m_display, &event, &error))
        XScreenSaverSuspend(m_display, True);
    // The server's own blanking, and whatever blanks the screen already now.
    XGetScreenSaver(m_display, &m_timeout, &m_interval, &m_preferBlanking, &m_allowExposures);
    XSetScreenSaver(m_display, 0, m_interval, m_preferBlanking, m_allowExposures);
    XForceScreenSaver(m_display, ScreenSaverReset);

    CARD16 level = 0;
    BOOL enabled = False;
    if (DPMSQueryExtension(m_display, &event, &error) && DPMSCapable(m_display) && DPMSInfo(m_display, &level, &enabled)
        && enabled) {
        m_dpmsWasEnabled = true;
        DPMSForceLevel(m_display, DPMSModeOn);
        DPMSDisable(m_display);
    }
    XFlush(m_display);
    watchEndSignals();
    qInfo().noquote() << (m_dpmsWasEnabled ? "display: screen saver and power saving (DPMS) off while the player runs"
                                           : "display: screen saver off while the player runs");
    return true;
}

void AwakeDisplay::restore()
{
    if (!m_display)
        return;
    XSetScreenSaver(m_display, m_timeout, m_interval, m_preferBlanking, m_allowExposures);
    if (m_dpmsWasEnabled)
        DPMSEnable(m_display);
    XScreenSaverSuspend(m_display, False);
    XSync(m_display, False);
    XCloseDisplay(m_display);
    m_display = nullptr;
}

// The service manager stops the player with SIGTERM, whose default action would
// leave the server's settings as the player set them.
void AwakeDisplay::watchEndSignals()
{
    if (m_signals || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_signals = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        restore();
        std::signal(number, SIG_DFL);
        std::raise(number);
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : endSignals)
        sigaction(signal, &action, nullptr);
}
