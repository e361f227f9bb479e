// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QVector>

#include <deque>

#include <vlc/vlc.h>

// libvlc's own messages: errors always; warnings, notices and debug only when
// this category's debug output is on (off by default, the player's -v turns it
// on), as libvlc's own console does. Its warnings are notes on the media for a developer ("elst box found",
// "decoded zero sample", audio clock corrections), a dozen a minute.
Q_DECLARE_LOGGING_CATEGORY(lcVlc)

// Folds repeated messages. A message is known by its key (libvlc's module and
// format string: "playback too early (%d)" is one message whatever the number);
// one whose key is among the last few printed is counted instead of printed.
// A count comes out as "<last text> ... repeated N times" once it has waited a
// period (twice as long after each count, up to an hour), or when its message
// leaves the window for newer ones. A window rather
// than only the previous line: libvlc repeats the same burst of messages each
// time a video starts, and fails in pairs from two objects.
class LogFolder {
public:
    struct Line {
        int level;
        QString key;
        QString text;
    };

    explicit LogFolder(qint64 periodMs = 60000, int window = 16);

    // What to print now that `line` arrived at `nowMs`.
    QVector<Line> add(const Line& line, qint64 nowMs);
    // The counts that have waited a period by `nowMs`.
    QVector<Line> flush(qint64 nowMs);

private:
    struct Recent {
        Line last;
        int repeats;
        qint64 since;
        qint64 wait;
    };
    void takeCount(Recent& r, qint64 nowMs, QVector<Line>* out);

    qint64 m_period;
    std::size_t m_window;
    std::deque<Recent> m_recent;
};

// Routes the messages of `instance` through lcVlc, folded.
void QmlVlcRouteLog(libvlc_instance_t* instance);
