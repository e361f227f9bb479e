// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;
struct _XDisplay;

// Keeps an X11 display lit while the player runs: nobody touches a key on a
// signage screen, so the X server's screen saver and its display power saving
// (DPMS) would blank it after their idle time. Both are turned off at start and
// put back as they were when the object goes, or when the process is told to end
// (SIGTERM, SIGINT, SIGHUP: it then still ends by that signal). On any other
// platform (the kiosk compositor's Wayland) it does nothing. GUI thread; one per
// process.
class AwakeDisplay : public QObject {
    Q_OBJECT

public:
    explicit AwakeDisplay(QObject* parent = nullptr);
    ~AwakeDisplay() override;

    // On the xcb platform: suspends the screen saver and DPMS and says so once.
    // False when there was nothing to do here.
    bool start();
    // Puts back what start() changed; nothing the second time.
    void restore();

private:
    void watchEndSignals();

    _XDisplay* m_display = nullptr;
    int m_timeout = 0;
    int m_interval = 0;
    int m_preferBlanking = 0;
    int m_allowExposures = 0;
    bool m_dpmsWasEnabled = false;
    QSocketNotifier* m_signals = nullptr;
};
