// SPDX-License-Identifier: GPL-2.0-or-later
#include "FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QQuickWindow>
#include <QThread>

namespace {
// Drawing starts right after the hand-over; a render thread that has not started
// by then found nothing to draw.
constexpr int handOverWait = 20;
// Far longer than any frame; only a frame that never ends reaches it.
constexpr int drawingWait = 2000;
}

FramePacer::FramePacer(QQuickWindow* window)
    : QObject(window)
    , m_window(window)
{
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &FramePacer::waited);

    // Direct connections: these run on the render thread, around each frame.
    connect(window, &QQuickWindow::afterSynchronizing, this, &FramePacer::synchronized, Qt::DirectConnection);
    connect(window, &QQuickWindow::beforeRendering, this, &FramePacer::drawing, Qt::DirectConnection);
    connect(window, &QQuickWindow::frameSwapped, this, &FramePacer::drawn, Qt::DirectConnection);
    connect(window, &QQuickWindow::sceneGraphInvalidated, this, &FramePacer::drawn, Qt::DirectConnection);

    window->installEventFilter(this);
}

// While the render thread synchronises, the GUI thread waits for it: the state is
// set before the GUI thread can ask for another frame. A render loop that draws on
// the GUI thread itself (the basic one, or a grab there) leaves nothing to wait for.
void FramePacer::synchronized()
{
    if (QThread::currentThread() != thread())
        m_state = Synchronized;
}

// Only a frame that took the scene over from the GUI thread counts. One that the
// render thread draws on its own (animators running there) is followed at once by
// the next, and a request held back for it would never get in between; those are
// left to the render loop, which lets a waiting GUI thread in between two of them.
void FramePacer::drawing()
{
    int handedOver = Synchronized;
    m_state.compare_exchange_strong(handedOver, Drawing);
}

void FramePacer::drawn()
{
    m_state = Idle;
    QMetaObject::invokeMethod(this, &FramePacer::release, Qt::QueuedConnection);
}

bool FramePacer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::UpdateRequest || watched != m_window || m_state == Idle)
        return false;
    m_held = true;
    if (!m_wait.isActive()) {
        m_waitingForDrawing = m_state == Drawing;
        m_wait.start(m_waitingForDrawing ? drawingWait : handOverWait);
    }
    return true;
}

void FramePacer::waited()
{
    int state = Synchronized;
    if (!m_waitingForDrawing && !m_state.compare_exchange_strong(state, Idle) && state == Drawing) {
        m_waitingForDrawing = true;
        m_wait.start(drawingWait);
        return;
    }
    m_state = Idle;
    release();
}

void FramePacer::release()
{
    if (!m_held || !m_window)
        return;
    m_held = false;
    m_wait.stop();
    // Sent rather than asked for with requestUpdate(): that would add the
    // platform's few milliseconds of update-request delay to every held frame.
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
}
