// The proof-of-play log: what a line says, how an end is told, rotation, an unwritable path.

#include "PlayLog.h"

#include <QtTest>

static int warnings = 0;

class tst_PlayLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A log at m_dir/name, rotated past maxSize bytes; player.ini names another one.
    void configure(PlayLog& log, const QString& name, qint64 maxSize = 0)
    {
        QFile ini(m_dir.filePath(QString(name).replace('/', '_') + ".ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[log]\nplayLog=ini.log\nmaxSize=" + QByteArray::number(maxSize) + '\n');
        ini.close();
        log.configure(m_dir.filePath(name), ini.fileName());
        QCOMPARE(log.path(), m_dir.filePath(name)); // the argument wins
    }
    static QJsonObject composition(int element)
    {
        return { { "schedule", "S" }, { "sequence", 1 }, { "element", element }, { "type", "Image" },
            { "device", "D" } };
    }
    static QList<QJsonObject> records(const QString& path)
    {
        QFile file(path);
        QList<QJsonObject> list;
        for (const QByteArray& line : file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>())
            if (!line.isEmpty())
                list << QJsonDocument::fromJson(line).object();
        return list;
    }

private slots:
    void ended_data()
    {
        QTest::addColumn<QString>("events"); // shown, leaving:REASON, left:REASON, skipped:WHY; "!": the item failed
        QTest::addColumn<QString>("ended"); // one per line written
        const auto row = [](const char* tag, const char* events, const char* ended) {
            QTest::addRow("%s", tag) << QString(events) << QString(ended);
        };
        row("no reason given: duration", "shown shown", "duration");
        row("the first reason is kept", "shown leaving:remote leaving:duration shown", "remote");
        row("a failed item wins", "shown leaving:remote leaving!:video-end shown", "error");
        row("left closes at once with its own reason", "shown leaving:remote left:reload", "reload");
        row("nothing open, nothing written", "leaving:remote left:reload", "");
        row("a line per composition", "shown leaving:remote shown shown left:reload", "remote duration reload");
        row("a skip written at once, the one on screen still open", "shown skipped:gone leaving:duration shown",
            "skipped(gone) duration");
    }
    // Each line: its composition, start and end with their UTC offset, how long it was shown.
    void ended()
    {
        QFETCH(QString, events);
        QFETCH(QString, ended);
        PlayLog log;
        configure(log, QTest::currentDataTag());
        int shown = 0;
        for (const QString& event : events.split(' ')) {
            if (event == "shown") {
                log.shown(composition(shown++).toVariantMap());
                QTest::qWait(20);
            } else if (event.startsWith("skipped")) {
                log.skipped(composition(shown++).toVariantMap(), event.section(':', 1));
            } else if (event.startsWith("leaving")) {
                log.leaving(event.section(':', 1), event.contains('!'));
            } else {
                log.left(event.section(':', 1), event.contains('!'));
            }
        }
        QStringList reasons;
        const QRegularExpression time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
        for (QJsonObject r : records(log.path())) {
            const QString start = r.take("start").toString(), end = r.take("end").toString();
            QVERIFY2(
                time.match(start).hasMatch() && time.match(end).hasMatch() && start <= end, qPrintable(start + end));
            const int ms = r.take("shown_ms").toInt();
            const QString how = r.take("ended").toString(), reason = r.take("reason").toString();
            QVERIFY(how == "skipped" ? ms == 0 : ms >= 20);
            reasons << how + (reason.isEmpty() ? QString() : '(' + reason + ')');
            QCOMPARE(r, composition(r.value("element").toInt()));
        }
        QCOMPARE(reasons.join(' '), ended);
    }

    void rotation_data()
    {
        QTest::addColumn<int>("count"); // compositions shown, each closed by the next
        QTest::addColumn<QString>("files"); // the elements in each file
        QTest::addRow("no more than the kept files") << 9 << QString("play.log: 8 | .1: 6,7 | .2: 4,5 | .3: 2,3");
    }
    // Two and a half lines fit in a file.
    void rotation()
    {
        QFETCH(int, count);
        QFETCH(QString, files);
        PlayLog probe, log;
        configure(probe, QStringLiteral("probe%1.log").arg(count));
        probe.shown(composition(0).toVariantMap());
        probe.left("reload", false);
        configure(log, QStringLiteral("rotation%1.log").arg(count), QFileInfo(probe.path()).size() * 5 / 2);
        for (int i = 0; i <= count; ++i)
            log.shown(composition(i).toVariantMap());
        QStringList found;
        for (const QString suffix : { "", ".1", ".2", ".3", ".4" }) {
            QStringList elements;
            for (const QJsonObject& r : records(log.path() + suffix))
                elements << QString::number(r.value("element").toInt());
            if (!elements.isEmpty())
                found << (suffix.isEmpty() ? QStringLiteral("play.log") : suffix) + ": " + elements.join(',');
        }
        QCOMPARE(found.join(" | "), files);
    }

    void unwritable()
    {
        QVERIFY(QFile(m_dir.filePath("afile")).open(QIODevice::WriteOnly)); // a file where a folder should be
        PlayLog log;
        configure(log, "afile/play.log");
        const auto previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; });
        for (int i = 0; i < 4; ++i)
            log.shown(composition(i).toVariantMap());
        QVERIFY(QFile::remove(m_dir.filePath("afile"))); // room again: the next line is written, with no new warning
        log.shown(composition(4).toVariantMap());
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, 1);
        QCOMPARE(records(log.path()).value(0).value("element").toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_PlayLog)
#include "tst_playlog.moc"
