// SPDX-License-Identifier: GPL-2.0-or-later
// The time sequences are chosen by: the local clock, or the signage server's while the local one is off.

#include "ScheduleClock.h"

#include <QtTest>

class tst_Screens : public QObject {
    Q_OBJECT

private slots:
    // The true time is 2026-12-08 12:00 UTC and the build `build` minutes off it. The local clock is `skew`
    // minutes off when the answers ("url|Date header") come; it is read a minute later, set to `later` minutes
    // off and read again. Expected: the minutes off the true time of what was used; "local" for the local clock.
    void clock_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("skew");
        QTest::addColumn<int>("later");
        QTest::addColumn<QString>("expected");
        const QStringList dated { "http://s/ws|Tue, 08 Dec 2026 12:00:00 GMT" };
        const int y = -365 * 24 * 60;
        QTest::addRow("right") << dated << y << 0 << 0 << "0 local, 0 local";
        QTest::addRow("within five minutes") << dated << y << 4 << -4 << "4 local, -4 local";
        QTest::addRow("six minutes ahead, then right") << dated << y << 6 << 1 << "0, 1 local";
        QTest::addRow("a year behind") << dated << y << y << y << "0, 0";
        QTest::addRow("before the build, server near") << dated << 3 << -3 << 4 << "0, 4 local";
        QTest::addRow("before the build, no server") << QStringList() << 3 << y << y << "-525600 local, -525600 local";
        QTest::addRow("then a file") << dated + QStringList("file:///s.json|") << y << y << y
                                     << "-525600 local, -525600 local";
        QTest::addRow("then undated") << dated + QStringList("http://s/ws|") << y << y << y << "0, 0";
        QTest::addRow("no date") << QStringList("http://s/ws|yesterday") << y << y << y
                                 << "-525600 local, -525600 local";
    }
    void clock()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, build);
        QFETCH(int, skew);
        QFETCH(int, later);
        const qint64 truth = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
        qint64 elapsed = 0;
        qint64 offset = skew * 60000LL;
        ScheduleClock clock;
        clock.setClocks([&] { return truth + elapsed + offset; }, [&] { return elapsed; }, truth + build * 60000LL);
        for (const QString& answer : answers)
            clock.answered(QUrl(answer.section('|', 0, 0)), answer.section('|', 1).toLatin1());
        QStringList used;
        for (const int minutes : { skew, later }) {
            offset = minutes * 60000LL;
            elapsed += 60000;
            const qint64 off = qint64(clock.now()) - truth - elapsed;
            used << QString::number(off / 60000) + (clock.problem().isEmpty() ? " local" : "");
        }
        QTEST(used.join(", "), "expected");
    }
};

QTEST_GUILESS_MAIN(tst_Screens)
#include "tst_screens.moc"
