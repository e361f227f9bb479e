// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleClock.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLocale>

#include <cstdlib>

const qint64 ScheduleClock::buildTime = qint64(PLAYER_BUILD_EPOCH) * 1000;

ScheduleClock::ScheduleClock(QObject* parent)
    : QObject(parent)
    , m_local([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_monotonic([] {
        static QElapsedTimer since;
        if (!since.isValid())
            since.start();
        return since.elapsed();
    })
{
}

void ScheduleClock::setClocks(std::function<qint64()> local, std::function<qint64()> monotonic, qint64 build)
{
    m_local = std::move(local);
    m_monotonic = std::move(monotonic);
    m_build = build;
}

QDateTime ScheduleClock::httpDate(const QByteArray& text)
{
    // The one form HTTP servers send; the older forms are long gone.
    QDateTime date = QLocale::c().toDateTime(
        QString::fromLatin1(text).trimmed(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    date.setTimeSpec(Qt::UTC);
    return date;
}

bool ScheduleClock::localAgrees(qint64 local, const QDateTime& server, qint64 build)
{
    if (!server.isValid())
        return true; // nothing better to go by
    return local >= build && std::llabs(local - server.toMSecsSinceEpoch()) <= tolerance;
}

void ScheduleClock::answered(const QUrl& url, const QByteArray& date)
{
    const bool http = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    const QDateTime server = http ? httpDate(date) : QDateTime();
    if (http && !server.isValid())
        return; // no answer, or one without a usable date: what was known stays
    m_serverAtAnswer = server;
    m_monotonicAtAnswer = m_monotonic();
    now();
}

double ScheduleClock::now()
{
    const qint64 local = m_local();
    QDateTime server;
    if (m_serverAtAnswer.isValid())
        server = m_serverAtAnswer.addMSecs(m_monotonic() - m_monotonicAtAnswer);
    if (localAgrees(local, server, m_build)) {
        if (!m_problem.isEmpty())
            setProblem(QString(), QStringLiteral("clock: the local clock agrees with the signage server again"));
        if (local < m_build && !m_toldBuild) {
            m_toldBuild = true;
            qWarning().noquote() << "clock: the local clock"
                                 << QDateTime::fromMSecsSinceEpoch(local).toString(Qt::ISODate)
                                 << "is earlier than this player's build, and no signage server tells the time";
        }
        return double(local);
    }
    if (m_problem.isEmpty()) {
        const qint64 minutes = qRound64((server.toMSecsSinceEpoch() - local) / 60000.0);
        const QString off = std::llabs(minutes) >= 2 * 24 * 60
            ? QStringLiteral("%1 days").arg(qRound64(std::llabs(minutes) / (24 * 60.0)))
            : QStringLiteral("%1 minutes").arg(std::llabs(minutes));
        const QString words = std::llabs(minutes) * 60000 <= tolerance
            ? QStringLiteral("earlier than this player's build, and %1 off").arg(off)
            : (minutes > 0 ? QStringLiteral("%1 behind") : QStringLiteral("%1 ahead of")).arg(off);
        setProblem(QStringLiteral("local clock %1 the server's, playing by the server's").arg(words),
            QStringLiteral("clock: the local clock (%1) is %2 the signage server's (%3): sequences are chosen by the "
                           "server's time until the local clock agrees")
                .arg(QDateTime::fromMSecsSinceEpoch(local).toString(Qt::ISODate), words,
                    server.toLocalTime().toString(Qt::ISODate)));
    }
    return double(server.toMSecsSinceEpoch());
}

void ScheduleClock::setProblem(const QString& problem, const QString& logLine)
{
    qWarning().noquote() << logLine;
    m_problem = problem;
    emit problemChanged();
}
