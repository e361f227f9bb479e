#include "FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QQuickWindow>

FramePacer::FramePacer(QQuickWindow* window)
    : QObject(window)
    , m_window(window)
{
    // Far longer than any frame; only a frame that never ends reaches it.
    m_fallback.setSingleShot(true);
    m_fallback.setInterval(2000);
    connect(&m_fallback, &QTimer::timeout, this, [this] {
        m_drawing = false;
        release();
    });

    // Direct connections: these run on the render thread, around each frame.
    connect(window, &QQuickWindow::beforeSynchronizing, this, &FramePacer::synchronizing, Qt::DirectConnection);
    connect(window, &QQuickWindow::beforeRendering, this, &FramePacer::drawing, Qt::DirectConnection);
    connect(window, &QQuickWindow::frameSwapped, this, &FramePacer::drawn, Qt::DirectConnection);
    connect(window, &QQuickWindow::sceneGraphInvalidated, this, &FramePacer::drawn, Qt::DirectConnection);

    window->installEventFilter(this);
}

void FramePacer::synchronizing() { m_synced = true; }

// Only a frame that took the scene over from the GUI thread counts. One that the
// render thread draws on its own (animators running there) is followed at once by
// the next, and a request held back for it would never get in between; those are
// left to the render loop, which lets a waiting GUI thread in between two of them.
void FramePacer::drawing() { m_drawing = m_synced.exchange(false); }

void FramePacer::drawn()
{
    m_drawing = false;
    QMetaObject::invokeMethod(this, &FramePacer::release, Qt::QueuedConnection);
}

bool FramePacer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::UpdateRequest || watched != m_window || !m_drawing)
        return false;
    m_held = true;
    if (!m_fallback.isActive())
        m_fallback.start();
    return true;
}

void FramePacer::release()
{
    if (!m_held || !m_window)
        return;
    m_held = false;
    m_fallback.stop();
    // Sent rather than asked for with requestUpdate(): that would add the
    // platform's few milliseconds of update-request delay to every held frame.
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
}
