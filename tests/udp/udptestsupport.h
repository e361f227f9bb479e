#pragma once

// Helpers for the remote-control tests. They assume the private network namespace
// of tests/isolate.sh --net and refuse to touch interfaces anywhere else.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace udptest {

// True only when some ancestor sits in another network namespace, so that an
// `ip link del eth0` here cannot reach the machine's own interfaces.
inline bool inPrivateNetworkNamespace()
{
    if (qEnvironmentVariable("PLAYER_ISOLATED_NET") != QLatin1String("1"))
        return false;
    auto namespaceOf = [](const QString& pid) {
        return QFileInfo(QStringLiteral("/proc/%1/ns/net").arg(pid)).symLinkTarget().section(QLatin1Char('/'), -1);
    };
    auto parentOf = [](const QString& pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("PPid:"))
                    return QString::fromLatin1(line.mid(5).trimmed());
            }
        }
        return QString();
    };
    const QString own = namespaceOf(QStringLiteral("self"));
    if (own.isEmpty())
        return false;
    QString pid = parentOf(QStringLiteral("self"));
    for (int depth = 0; depth < 16 && !pid.isEmpty() && pid != QLatin1String("0"); ++depth) {
        const QString theirs = namespaceOf(pid);
        if (!theirs.isEmpty() && theirs != own)
            return true;
        pid = parentOf(pid);
    }
    return false;
}

// A counter of the namespace's UDP statistics, by its name in /proc/net/snmp.
inline long udpCounter(const QByteArray& name)
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> names;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("Udp: "))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const int column = names.indexOf(name);
        return column > 0 && column < fields.size() ? fields.at(column).toLong() : -1;
    }
    return -1;
}

// Datagrams read so far. The handlers run synchronously inside the listener's read
// loop, so once the count has moved past a datagram it has also been handled.
inline long datagramsRead() { return udpCounter("InDatagrams"); }
// Datagrams the kernel dropped because a receive buffer was full.
inline long datagramsDropped() { return udpCounter("RcvbufErrors"); }

// Runs the event loop until `count` more datagrams than `before` have been read.
inline bool waitDatagramsRead(long before, long count, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (datagramsRead() < before + count) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(1);
    }
    QCoreApplication::processEvents();
    return true;
}

// Runs `ip` with the arguments; returns its error output when it fails.
inline QString ip(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("ip"), args);
    if (!process.waitForFinished(10000))
        return QStringLiteral("ip did not finish");
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("ip %1: %2").arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()));
    return QString();
}

} // namespace udptest
