// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <mutex>

// Off unless asked for: libvlc says hundreds of lines a second at debug level.
Q_LOGGING_CATEGORY(lcVlc, "player.vlc", QtInfoMsg)

LogFolder::LogFolder(qint64 periodMs, int window)
    : m_period(periodMs)
    , m_window(std::size_t(qMax(1, window)))
{
}

void LogFolder::takeCount(Recent& r, qint64 nowMs, QVector<Line>* out)
{
    if (r.repeats == 1)
        out->append(r.last);
    else if (r.repeats > 1)
        out->append(
            { r.last.level, r.last.key, QStringLiteral("%1 ... repeated %2 times").arg(r.last.text).arg(r.repeats) });
    r.repeats = 0;
    r.since = nowMs;
    // A message that keeps coming is reported ever less often, down to once an hour.
    r.wait = qMin(2 * r.wait, qMax(m_period, qint64(3600000)));
}

QVector<LogFolder::Line> LogFolder::add(const Line& line, qint64 nowMs)
{
    QVector<Line> out = flush(nowMs);
    for (auto it = m_recent.begin(); it != m_recent.end(); ++it) {
        if (it->last.key == line.key && it->last.level == line.level) {
            // Back after a quiet wait: news again.
            if (it->repeats == 0 && nowMs - it->since >= it->wait) {
                out.append(line);
                it->since = nowMs;
                it->wait = m_period;
            } else if (it->repeats++ == 0) {
                it->since = nowMs;
            }
            it->last.text = line.text;
            // The most recent at the back: a busy message stays in the window.
            Recent r = *it;
            m_recent.erase(it);
            m_recent.push_back(r);
            return out;
        }
    }
    out.append(line);
    m_recent.push_back({ line, 0, nowMs, m_period });
    if (m_recent.size() > m_window) {
        takeCount(m_recent.front(), nowMs, &out);
        m_recent.pop_front();
    }
    return out;
}

QVector<LogFolder::Line> LogFolder::flush(qint64 nowMs)
{
    QVector<Line> out;
    for (Recent& r : m_recent) {
        if (r.repeats > 0 && nowMs - r.since >= r.wait)
            takeCount(r, nowMs, &out);
    }
    return out;
}

namespace {

// libvlc calls from any of its threads, concurrently, and the shared instance
// outlives main(): the sink is never destroyed.
struct Sink {
    // A standard mutex, which ThreadSanitizer sees (Qt's own is not instrumented).
    std::mutex mutex;
    LogFolder folder;
    QElapsedTimer clock;
};

Sink& sink()
{
    static Sink* s = new Sink;
    return *s;
}

void print(const QVector<LogFolder::Line>& lines)
{
    for (const LogFolder::Line& l : lines) {
        if (l.level >= LIBVLC_ERROR)
            qCWarning(lcVlc).noquote() << l.text;
        else
            qCDebug(lcVlc).noquote() << l.text;
    }
}

const char* levelName(int level)
{
    switch (level) {
    case LIBVLC_ERROR:
        return "error";
    case LIBVLC_WARNING:
        return "warning";
    case LIBVLC_NOTICE:
        return "notice";
    default:
        return "debug";
    }
}

void onMessage(void*, int level, const libvlc_log_t* context, const char* format, va_list args)
{
    if (level < LIBVLC_ERROR && !lcVlc().isDebugEnabled())
        return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    const char* module = nullptr;
    const char* file = nullptr;
    unsigned line = 0;
    libvlc_log_get_context(context, &module, &file, &line);
    const char* kind = nullptr;
    const char* header = nullptr;
    uintptr_t id = 0;
    libvlc_log_get_object(context, &kind, &header, &id);

    const QString where = QStringLiteral("%1 %2 %3: ")
                              .arg(QLatin1String(module ? module : "?"), QLatin1String(kind ? kind : "?"),
                                  QLatin1String(levelName(level)));
    const LogFolder::Line message { level, where + QString::fromUtf8(format), where + QString::fromUtf8(text) };
    // Asked for, debug output comes whole.
    if (level < LIBVLC_WARNING) {
        print({ message });
        return;
    }
    Sink& s = sink();
    QVector<LogFolder::Line> out;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        out = s.folder.add(message, s.clock.elapsed());
    }
    print(out);
}

} // namespace

void QmlVlcRouteLog(libvlc_instance_t* instance)
{
    if (!instance)
        return;
    Sink& s = sink();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.clock.isValid())
            s.clock.start();
    }
    // A count left waiting when libvlc falls silent still comes out.
    static QTimer* flusher = nullptr;
    if (!flusher && QCoreApplication::instance()) {
        flusher = new QTimer(QCoreApplication::instance());
        flusher->setInterval(2000);
        QObject::connect(flusher, &QTimer::timeout, [] {
            Sink& s = sink();
            QVector<LogFolder::Line> out;
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                out = s.folder.flush(s.clock.elapsed());
            }
            print(out);
        });
        flusher->start();
    }
    libvlc_log_set(instance, onMessage, nullptr);
}
