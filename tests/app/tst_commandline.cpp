// SPDX-License-Identifier: GPL-2.0-or-later
#include "CommandLine.h"

#include <QtTest>

class TestCommandLine : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir; // the working directory, with the schedule file s.json

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path()) && QFile("s.json").open(QIODevice::WriteOnly)); }

    void parse_data()
    {
        // Arguments (split at spaces) and what they make: "run" and the launch parameters set,
        // "help", "version", or the exit status and the line on stderr.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("expected");
        static const char* const rows[][2] = {
            { "", "run bDebug=false" },
            { "-h 10.0.0.5 -p 80 -d A1 -v", "run bDebug=true deviceUid=A1 host=10.0.0.5 port=80" },
            { "--host=h --port=080 --deviceUid=a=b --startDate=2016-02-29 --endDate=2016-03-01",
                "run bDebug=false deviceUid=a=b endDate=2016-03-01 host=h port=80 startDate=2016-02-29" },
            { "--host a --host=b -d -7 --verbose", "run bDebug=true deviceUid=-7 host=b" },
            { "--json=s.json --play-log=p=q", "run bDebug=false jsonFile=$PWD/s.json playLog=p=q" },
            { "--json file://$PWD/s.json", "run bDebug=false jsonFile=$PWD/s.json" },
            { "--rotation=270 --check c.json --simulate=s.json --from 2026-01-31T23:59 --days=366",
                "run bDebug=false check=c.json days=366 from=2026-01-31T23:59 rotation=270 simulate=s.json" },
            { "-h", "help" },
            { "-v --host=a -h", "help" },
            { "-h -v", "help" },
            { "--version -p x", "version" },
            { "--frobnicate=1 --port=x", "2 player: unknown option --frobnicate (see player --help)" },
            { "s.json", "2 player: unexpected argument s.json (see player --help)" },
            { "--port=eighty", "2 player: --port=eighty: not a port number (1 to 65535)" },
            { "-p 65536", "2 player: -p 65536: not a port number (1 to 65535)" },
            { "--startDate 2024-31-12", "2 player: --startDate 2024-31-12: not a date (yyyy-MM-dd)" },
            { "-p", "2 player: -p needs a value: -p PORT (see player --help)" },
            { "--deviceUid -v", "2 player: --deviceUid needs a value: --deviceUid=ID (see player --help)" },
            { "--verbose=1", "2 player: --verbose takes no value (see player --help)" },
            { "--json=none.json", "2 player: --json=none.json: no such file" },
            { "--json .", "2 player: --json .: not a file" },
            { "--rotation=45", "2 player: --rotation=45: not 0, 90, 180 or 270" },
            { "--days=0", "2 player: --days=0: not a number of days (1 to 366)" },
            { "--from=2026-01-01", "2 player: --from=2026-01-01: not a date and time (yyyy-MM-ddTHH:mm)" },
        };
        for (const auto& row : rows)
            QTest::addRow("%s", row[0]) << row[0] << row[1];
    }

    void parse()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, expected);
        const QString here = QDir::currentPath();
        const auto line
            = CommandLine::parse(("player " + arguments.replace("$PWD", here)).split(' ', Qt::SkipEmptyParts));
        QStringList got { QStringList { "run", "help", "version", "" }.at(line.outcome()) };
        if (line.outcome() == CommandLine::Error)
            got = QStringList { QString::number(line.answer()), line.error() };
        QObject target;
        line.apply(&target);
        for (const QByteArray& name :
            line.outcome() == CommandLine::Run ? target.dynamicPropertyNames() : QList<QByteArray>())
            got << name + '=' + target.property(name).toString();
        std::sort(got.begin() + 1, got.end());
        QCOMPARE(got.join(' '), expected.replace("$PWD", here));
    }

    // Readable, and every option once with the forms that work.
    void usage()
    {
        const QString text = CommandLine::usage();
        QVERIFY(text.startsWith("Usage: player [options]\n\n") && !text.contains("\\n") && !text.contains("-j "));
        for (const char* form : { "--host=HOST, -h HOST ", "--port=PORT, -p PORT ", "--deviceUid=ID, -d ID ",
                 "--json=PATH ", "--startDate=yyyy-MM-dd ", "--verbose, -v ", "--version " })
            QVERIFY2(text.count(form) == 1, form);
        QCOMPARE(text.count("\n  --"), int(CommandLine::options().size()));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
