#include "quickwindow.h"

#include <QTest>

// The command line as the screen's start script writes it, odd forms included.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected"); // name=value pairs, sorted, bDebug first

    auto row = [](const char* tag, const QStringList& rest, bool ok, const char* expected) {
        QTest::addRow("%s", tag) << (QStringList { "player" } + rest) << ok << QString(expected);
    };
    row("nothing", {}, true, "bDebug=false");
    row("everything", { "-v", "-h", "srv", "-p", "80", "-d", "D", "--startDate=2020-01-01", "--endDate=2020-12-31",
        "--json=x" }, true, "bDebug=true deviceUid=D endDate=2020-12-31 host=srv jsonFile=x port=80 startDate=2020-01-01");
    row("long forms, each cut at its next =", { "--verbose", "--host=a=b", "--port=0080", "--deviceUid=A1", "--json=a=b" },
        true, "bDebug=true deviceUid=A1 host=a jsonFile=a port=0080");
    row("help after other options", { "-v", "--host=a", "--help" }, false, "bDebug=true");
    row("-h last asks for help", { "-v", "-h" }, false, "bDebug=true");
    row("-h takes the next argument whatever it is", { "-h", "-v" }, true, "bDebug=true host=-v");
    row("short -h wins over the long form", { "--host=b", "-h", "a" }, true, "bDebug=false host=a");
    row("empty values set nothing", { "-h", "", "--deviceUid=", "--host=" }, true, "bDebug=false");
    row("options without = are ignored, -V and -j are unknown", { "--host", "a", "-V", "-j", "s.json" }, true, "bDebug=false");
    row("a port that is not a number", { "--port=80a" }, true, "bDebug=false");
    row("a bad -p hides a good --port=", { "--port=81", "-p", "x" }, true, "bDebug=false");
    row("-p last is ignored, --port= consulted", { "--port=81", "-p" }, true, "bDebug=false port=81");
    row("-d last is ignored, --deviceUid= consulted", { "--deviceUid=B2", "-d" }, true, "bDebug=false deviceUid=B2");
    row("dates that do not exist or are written otherwise", { "--startDate=2016-02-30", "--endDate=31/01/2016" }, true,
        "bDebug=false");
    row("an empty schedule path is still a path", { "--json=", "--startDate=2016-02-29" }, true,
        "bDebug=false jsonFile= startDate=2016-02-29");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, expected);

    QObject target;
    QCOMPARE(ApplicationEngine::parseArgumentList(args, &target), ok);
    QStringList actual;
    for (const QByteArray& name : target.dynamicPropertyNames()) {
        const QVariant value = target.property(name);
        QCOMPARE(value.userType(), name == "bDebug" ? int(QMetaType::Bool) : int(QMetaType::QString));
        actual << QString::fromLatin1(name) + '=' + value.toString();
    }
    std::sort(actual.begin(), actual.end());
    QCOMPARE(actual.join(' '), expected);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
