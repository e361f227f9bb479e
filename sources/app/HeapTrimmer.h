// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class QTimer;

// Keeps the C allocator's reserve from growing over months of uptime.
//
// The player's memory is allocated from many short-lived threads (libvlc starts
// an input, a decoder and an output thread for every video; the web engine and the
// scene graph have their own). glibc gives such threads separate arenas, up to
// eight per core, and an arena returns memory to the system only from its top: what
// is freed below a live block stays resident. Over thousands of compositions each
// arena's reserve creeps up, so the process grows though nothing is leaked.
// Fewer arenas share that reserve, and a periodic trim hands the free pages back.
class HeapTrimmer : public QObject {
    Q_OBJECT

public:
    // Arenas for the whole process. Called first thing in main(), before any thread
    // exists, since a thread keeps the arena it was given. An explicit
    // MALLOC_ARENA_MAX in the environment wins.
    static void limitArenas(int arenas = 2);

    explicit HeapTrimmer(QObject* parent = nullptr);

    // Trims every intervalMs on the GUI thread, which is where the timer lives.
    void start(int intervalMs = 30000);
    // Hands free pages of every arena back to the system; returns the microseconds it took.
    static qint64 trim();

private:
    QTimer* m_timer = nullptr;
};
