// SPDX-License-Identifier: GPL-2.0-or-later
// The rotation a screen asks for, and the time its sequences are chosen by.

#include "ScheduleClock.h"
#include "ScreenSettings.h"

#include <QtTest>

class tst_Screens : public QObject {
    Q_OBJECT

private slots:
    void rotation_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("problems");
        QTest::addRow("neither") << QStringList { "player" } << QByteArray() << 0 << 0;
        QTest::addRow("settings") << QStringList { "player" } << QByteArray("[screen]\nrotation=270\n") << 270 << 0;
        QTest::addRow("command line wins")
            << QStringList { "player", "--rotation=90" } << QByteArray("[screen]\nrotation=270\n") << 90 << 0;
        QTest::addRow("spaced form") << QStringList { "player", "--rotation", "180" } << QByteArray() << 180 << 0;
        QTest::addRow("bad argument, settings")
            << QStringList { "player", "--rotation=45" } << QByteArray("[screen]\nrotation=90\n") << 90 << 1;
        QTest::addRow("both bad") << QStringList { "player", "--rotation=" } << QByteArray("[screen]\nrotation=-90\n")
                                  << 0 << 2;
    }
    void rotation()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, ini);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(ini) == ini.size() && file.flush());
        QStringList problems;
        QTEST(ScreenSettings::rotationFrom(ScreenSettings::rotationArgument(args), file.fileName(), &problems),
            "degrees");
        QTEST(int(problems.size()), "problems");
    }

    // The true time is 2026-12-08 12:00 UTC. The local clock is `skew` minutes off it when the answers
    // ("url|Date header") come; a minute later it is read, then the local clock is set to `laterSkew`.
    // Expected: minutes off the true time of what is used, each time; "local" when the local clock is.
    void clock_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("skew");
        QTest::addColumn<int>("laterSkew");
        QTest::addColumn<QString>("expected");
        const QString server = "http://s/ws|Tue, 08 Dec 2026 12:00:00 GMT";
        const int year = 365 * 24 * 60;
        QTest::addRow("right") << QStringList { server } << -year << 0 << 0 << "0 local, 0 local";
        QTest::addRow("within five minutes") << QStringList { server } << -year << 4 << -4 << "4 local, -4 local";
        QTest::addRow("six minutes ahead") << QStringList { server } << -year << 6 << 6 << "0, 0";
        QTest::addRow("a year behind, then set") << QStringList { server } << -year << -year << 1 << "0, 1 local";
        QTest::addRow("before the build, server near") << QStringList { server } << 3 << -3 << 4 << "0, 4 local";
        QTest::addRow("before the build, no server")
            << QStringList {} << 10 << -year << -year << "-525600 local, -525600 local";
        QTest::addRow("a file schedule") << QStringList { server, "file:///s.json|" } << -year << -year << -year
                                         << "-525600 local, -525600 local";
        QTest::addRow("undated answer after")
            << QStringList { server, "http://s/ws|" } << -year << -year << -year << "0, 0";
        QTest::addRow("unreadable date") << QStringList { "http://s/ws|yesterday" } << -year << -year << -year
                                         << "-525600 local, -525600 local";
    }
    void clock()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, build);
        QFETCH(int, skew);
        QFETCH(int, laterSkew);
        const qint64 truth = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
        qint64 elapsed = 0;
        qint64 offset = skew * 60000LL;
        ScheduleClock clock;
        clock.setClocks([&] { return truth + elapsed + offset; }, [&] { return elapsed; }, truth + build * 60000LL);
        for (const QString& answer : answers)
            clock.answered(QUrl(answer.section('|', 0, 0)), answer.section('|', 1).toLatin1());
        QStringList got;
        for (const qint64 minutes : { skew, laterSkew }) {
            offset = minutes * 60000LL;
            elapsed += 60000;
            const qint64 off = qint64(clock.now()) - truth - elapsed;
            got << QString::number(off / 60000) + (clock.problem().isEmpty() ? " local" : "");
        }
        QTEST(got.join(", "), "expected");
    }
};

QTEST_GUILESS_MAIN(tst_Screens)
#include "tst_screens.moc"
