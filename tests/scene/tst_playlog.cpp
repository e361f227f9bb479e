// The proof-of-play log on its own: what a line says, how a composition's end is
// told, rotation, and a path that cannot be written.

#include "PlayLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

int warnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; }

QList<QJsonObject> lines(const QString& path)
{
    QFile file(path);
    QList<QJsonObject> records;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
    return records;
}

} // namespace

class tst_PlayLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A log at m_dir/name, rotated past maxSize bytes (0: the default).
    void configure(PlayLog& log, const QString& name, qint64 maxSize = 0)
    {
        QFile ini(m_dir.filePath(QString(name).replace('/', '_') + ".ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[log]\nplayLog=ignored.log\nmaxSize=" + QByteArray::number(maxSize) + '\n');
        ini.close();
        log.configure({ "player", "--play-log=" + m_dir.filePath(name) }, ini.fileName());
        QCOMPARE(log.path(), m_dir.filePath(name)); // the argument wins over player.ini
    }
    static void show(PlayLog& log, int element)
    {
        log.shown({ { "schedule", "S" }, { "sequence", 1 }, { "element", element }, { "type", "Image" },
            { "source", "/a.png" }, { "device", "D" } });
    }

private slots:
    void ended_data()
    {
        QTest::addColumn<QStringList>("events"); // shown, leaving:REASON, left:REASON; "!" when the item failed
        QTest::addColumn<QStringList>("ended"); // one per line written
        QTest::addRow("no reason given: duration") << QStringList { "shown", "shown" } << QStringList { "duration" };
        QTest::addRow("the first reason is kept")
            << QStringList { "shown", "leaving:remote", "leaving:duration", "shown" } << QStringList { "remote" };
        QTest::addRow("a failed item wins")
            << QStringList { "shown", "leaving:remote", "leaving!:video-end", "shown" } << QStringList { "error" };
        QTest::addRow("left closes at once with its own reason")
            << QStringList { "shown", "leaving:remote", "left:reload" } << QStringList { "reload" };
        QTest::addRow("left with a failed item") << QStringList { "shown", "left!:reload" } << QStringList { "error" };
        QTest::addRow("nothing open, nothing written")
            << QStringList { "leaving:remote", "left:reload" } << QStringList {};
        QTest::addRow("a line per composition") << QStringList { "shown", "leaving:remote", "shown", "leaving:duration",
            "shown", "left:reload" } << QStringList { "remote", "duration", "reload" };
    }
    void ended()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, ended);
        PlayLog log;
        configure(log, QTest::currentDataTag());
        int shown = 0;
        for (const QString& event : events) {
            const QString how = event.section(':', 1);
            if (event == "shown") {
                show(log, shown++);
                QTest::qWait(20);
            } else if (event.startsWith("leaving")) {
                log.leaving(how, event.contains('!'));
            } else {
                log.left(how, event.contains('!'));
            }
        }
        const QList<QJsonObject> records = lines(log.path());
        QCOMPARE(records.size(), ended.size());
        const QRegularExpression stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
        for (int i = 0; i < records.size(); ++i) {
            const QJsonObject& r = records[i];
            QCOMPARE(r.value("ended").toString(), ended[i]);
            QVERIFY2(stamp.match(r.value("start").toString()).hasMatch(), qPrintable(r.value("start").toString()));
            QVERIFY(stamp.match(r.value("end").toString()).hasMatch());
            QVERIFY(r.value("shown_ms").toInt() >= 20);
            QVERIFY(r.value("start").toString() <= r.value("end").toString());
            QCOMPARE(r.value("element").toInt(), i);
            QCOMPARE(QStringList({ r.value("schedule").toString(), r.value("type").toString(),
                         r.value("source").toString(), r.value("device").toString() }),
                QStringList({ "S", "Image", "/a.png", "D" }));
        }
    }

    void rotation_data()
    {
        QTest::addColumn<int>("count"); // compositions shown, each closed by the next
        QTest::addColumn<QString>("expected"); // the elements in each file
        QTest::addRow("below the size, one file") << 2 << "play.log: 0,1";
        QTest::addRow("rotated, the newest in .1") << 5 << "play.log: 4 | .1: 2,3 | .2: 0,1";
        QTest::addRow("no more than the kept files") << 9 << "play.log: 8 | .1: 6,7 | .2: 4,5 | .3: 2,3";
    }
    // About two and a half lines fit in a file.
    void rotation()
    {
        QFETCH(int, count);
        QFETCH(QString, expected);
        const QString name = QStringLiteral("rotation%1.log").arg(count);
        PlayLog probe;
        configure(probe, name + ".probe");
        show(probe, 0);
        probe.left("reload", false);
        PlayLog log;
        configure(log, name, QFileInfo(probe.path()).size() * 5 / 2);
        for (int i = 0; i <= count; ++i)
            show(log, i);
        QStringList files;
        for (const QString suffix : { "", ".1", ".2", ".3", ".4" }) {
            QStringList elements;
            for (const QJsonObject& r : lines(log.path() + suffix))
                elements << QString::number(r.value("element").toInt());
            if (!elements.isEmpty())
                files << (suffix.isEmpty() ? QStringLiteral("play.log") : suffix) + QStringLiteral(": ")
                        + elements.join(',');
        }
        QCOMPARE(files.join(" | "), expected);
    }

    void unwritable()
    {
        QFile blocker(m_dir.filePath("afile"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        PlayLog log;
        configure(log, "afile/play.log");
        const auto previous = qInstallMessageHandler(countWarnings);
        for (int i = 0; i < 4; ++i)
            show(log, i);
        QCOMPARE(warnings, 1);
        QVERIFY(blocker.remove()); // room again: the next line is written
        show(log, 4);
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, 1);
        QCOMPARE(lines(log.path()).value(0).value("element").toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_PlayLog)
#include "tst_playlog.moc"
