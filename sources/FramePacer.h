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
// With the basic render loop (everything on the GUI thread) it never holds
// anything: a frame is drawn and swapped inside one request.
class FramePacer : public QObject {
    Q_OBJECT

public:
    // Installs itself on the window; lives as long as the window does.
    explicit FramePacer(QQuickWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Render thread.
    void synchronizing();
    void drawing();
    void drawn();
    // GUI thread.
    void release();

    QPointer<QQuickWindow> m_window;
    // Render thread: the scene was taken over for the frame about to be drawn.
    std::atomic<bool> m_synced { false };
    // Set by the render thread from the start of drawing to the end of the swap.
    std::atomic<bool> m_drawing { false };
    // GUI thread: a request arrived while a frame was being drawn.
    bool m_held = false;
    // A frame that never reaches the screen (the window hidden mid-frame, a lost
    // context) must not hold requests forever.
    QTimer m_fallback;
};
