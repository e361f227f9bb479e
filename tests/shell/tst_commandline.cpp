#include "quickwindow.h"

#include <QObject>
#include <QSet>
#include <QtTest>

// The command-line rules, applied to a fresh target object per row so that every
// row starts with no launch parameter at all.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

using Props = QVariantMap;

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<Props>("expected");

    const QVariant f(false), t(true);
    auto row = [](const char* tag, const QStringList& rest, bool ok, const Props& props) {
        QTest::addRow("%s", tag) << (QStringList { "player" } + rest) << ok << props;
    };

    row("no arguments: only bDebug, false", {}, true, { { "bDebug", f } });
    row("-v turns verbose on", { "-v" }, true, { { "bDebug", t } });
    row("--verbose turns verbose on", { "--verbose" }, true, { { "bDebug", t } });
    row("-v anywhere in the list", { "--host=a", "-v", "--port=1" }, true,
        { { "bDebug", t }, { "host", "a" }, { "port", "1" } });
    row("-V is not -v", { "-V" }, true, { { "bDebug", f } });

    row("--help asks for help", { "--help" }, false, { { "bDebug", f } });
    row("--help after other options", { "-v", "--host=a", "--help" }, false, { { "bDebug", t } });
    row("-h alone asks for help", { "-h" }, false, { { "bDebug", f } });
    row("-h last asks for help", { "-v", "-h" }, false, { { "bDebug", t } });

    row("-h takes the next argument", { "-h", "myhost" }, true, { { "bDebug", f }, { "host", "myhost" } });
    row("-h takes the next argument whatever it is", { "-h", "-v" }, true,
        { { "bDebug", t }, { "host", "-v" } });
    row("-h with an empty value sets nothing", { "-h", "" }, true, { { "bDebug", f } });
    row("--host= long form", { "--host=10.0.0.5" }, true, { { "bDebug", f }, { "host", "10.0.0.5" } });
    row("--host= empty sets nothing", { "--host=" }, true, { { "bDebug", f } });
    row("--host value cut at its next =", { "--host=a=b" }, true, { { "bDebug", f }, { "host", "a" } });
    row("--host= matched anywhere in an argument", { "x--host=val" }, true, { { "bDebug", f }, { "host", "val" } });
    row("short -h wins, long form not consulted", { "--host=b", "-h", "a" }, true,
        { { "bDebug", f }, { "host", "a" } });
    row("--host without = is ignored", { "--host", "a" }, true, { { "bDebug", f } });

    row("-p with a number", { "-p", "8080" }, true, { { "bDebug", f }, { "port", "8080" } });
    row("-p with text sets nothing", { "-p", "abc" }, true, { { "bDebug", f } });
    row("-p keeps the text, not the number", { "-p", "0080" }, true, { { "bDebug", f }, { "port", "0080" } });
    row("--port= with a number", { "--port=8080" }, true, { { "bDebug", f }, { "port", "8080" } });
    row("--port= with text sets nothing", { "--port=80a" }, true, { { "bDebug", f } });
    row("-p bad value hides a good --port=", { "--port=81", "-p", "x" }, true, { { "bDebug", f } });
    row("-p last is ignored, --port= consulted", { "--port=81", "-p" }, true, { { "bDebug", f }, { "port", "81" } });
    row("-p last alone sets nothing", { "-p" }, true, { { "bDebug", f } });

    row("-d takes the next argument", { "-d", "A1" }, true, { { "bDebug", f }, { "deviceUid", "A1" } });
    row("--deviceUid= long form", { "--deviceUid=A1" }, true, { { "bDebug", f }, { "deviceUid", "A1" } });
    row("--deviceUid= empty sets nothing", { "--deviceUid=" }, true, { { "bDebug", f } });
    row("-d last is ignored, --deviceUid= consulted", { "--deviceUid=B2", "-d" }, true,
        { { "bDebug", f }, { "deviceUid", "B2" } });

    row("valid start date", { "--startDate=2016-02-29" }, true, { { "bDebug", f }, { "startDate", "2016-02-29" } });
    row("invalid start date", { "--startDate=2016-02-30" }, true, { { "bDebug", f } });
    row("start date in another format", { "--startDate=29/02/2016" }, true, { { "bDebug", f } });
    row("valid end date", { "--endDate=2016-01-31" }, true, { { "bDebug", f }, { "endDate", "2016-01-31" } });
    row("invalid end date", { "--endDate=2016-13-01" }, true, { { "bDebug", f } });

    row("--json= path", { "--json=/tmp/s.json" }, true, { { "bDebug", f }, { "jsonFile", "/tmp/s.json" } });
    row("--json= empty is still present", { "--json=" }, true, { { "bDebug", f }, { "jsonFile", "" } });
    row("--json= cut at its next =", { "--json=a=b.json" }, true, { { "bDebug", f }, { "jsonFile", "a" } });
    row("-j is not recognised", { "-j", "s.json" }, true, { { "bDebug", f } });

    row("everything at once", { "-v", "-h", "srv", "-p", "80", "-d", "D", "--startDate=2020-01-01",
        "--endDate=2020-12-31", "--json=x" }, true,
        { { "bDebug", t }, { "host", "srv" }, { "port", "80" }, { "deviceUid", "D" }, { "startDate", "2020-01-01" },
            { "endDate", "2020-12-31" }, { "jsonFile", "x" } });
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(Props, expected);

    QObject target;
    QCOMPARE(ApplicationEngine::parseArgumentList(args, &target), ok);

    Props actual;
    const auto names = target.dynamicPropertyNames();
    for (const QByteArray& name : names)
        actual.insert(QString::fromLatin1(name), target.property(name));
    QCOMPARE(QSet<QString>(actual.keyBegin(), actual.keyEnd()), QSet<QString>(expected.keyBegin(), expected.keyEnd()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QCOMPARE(actual.value(it.key()).userType(), it.value().userType());
        QCOMPARE(actual.value(it.key()), it.value());
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
