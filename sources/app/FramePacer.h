// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>

class QQuickWindow;

// Keeps a window's frame requests waiting while its render thread is still
// drawing the previous frame, and lets them through as soon as that frame is
// on screen.
//
// Qt Quick's threaded render loop answers a frame request by blocking the GUI
// thread until the render thread has taken the scene over, and the render
// thread takes it over only when it has finished the frame before. Where
// drawing is slow (software OpenGL, a large screen, a busy machine) the GUI
// thread would spend most of its time blocked there, and a remote command, a
// timer or a video frame would wait behind a frame that could have waited for
// it instead. Held back here, the request waits in the event loop, where
// everything else is still served. Frames come as often as before: the next
// one is taken over as soon as the one being drawn is on screen.
//
// With the basic render loop (everything on the GUI thread) it holds nothing.
class FramePacer : public QObject {
    Q_OBJECT

public:
    // Installs itself on the window; lives as long as the window does.
    explicit FramePacer(QQuickWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum State { Idle, Synchronized, Drawing };

    // Render thread.
    void synchronized();
    void drawing();
    void drawn();
    // GUI thread.
    void waited();
    void release();

    QPointer<QQuickWindow> m_window;
    // Where the frame that the GUI thread handed over last stands. Written by
    // the render thread, and by the GUI thread when it stops waiting for it.
    std::atomic<int> m_state { Idle };
    // GUI thread: a request arrived while a frame was under way.
    bool m_held = false;
    // GUI thread: how long a held request may wait. A scene handed over without
    // changes is not drawn at all, and says so by nothing; a frame that never
    // reaches the screen (a grab, the window hidden mid-frame, a lost context)
    // must not hold requests forever either.
    QTimer m_wait;
    bool m_waitingForDrawing = false;
};
