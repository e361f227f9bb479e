#include "Spinner.h"
#include "quickwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QQmlContext>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Messages written through Qt's debug stream while a test step runs.
static QStringList g_messages;
static void collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        g_messages << message;
}

static const char* const kLaunchParameters[] = { "bDebug", "host", "port", "deviceUid", "startDate", "endDate", "jsonFile" };

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void contextPropertiesDuringCreation();
    void startupLoadsWithNothingConfigured();
    void configuration_data();
    void configuration();
    void debugOutputOnlyWhenVerbose_data();
    void debugOutputOnlyWhenVerbose();
    void webCache();
    void missingSceneRootIsHarmless();

private:
    void writeIni(const QVariant& host, const QVariant& port);
    QObject* scene() const { return m_engine->rootObjects().value(0); }

    QTemporaryDir m_dir;
    std::unique_ptr<ApplicationEngine> m_engine;
    QString m_firstJson;
    QString m_firstHostPort;
};

void TestEngine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ApplicationEngine::sceneUrl = QUrl::fromLocalFile(QStringLiteral(SHELL_TEST_DATA "/recorder.qml"));
    ApplicationEngine::localScheduleFile = m_dir.filePath("etc/tavo_player.json");
    m_engine = std::make_unique<ApplicationEngine>();
    QVERIFY(scene());
    m_firstJson = scene()->property("lastJson").toString();
    m_firstHostPort = scene()->property("lastHostPort").toString();
}

void TestEngine::init()
{
    for (const char* name : kLaunchParameters)
        qApp->setProperty(name, QVariant());
    QFile::remove(m_dir.filePath("player.ini"));
    QDir(m_dir.filePath("etc")).removeRecursively();
    g_messages.clear();
}

void TestEngine::writeIni(const QVariant& host, const QVariant& port)
{
    if (!host.isValid() && !port.isValid())
        return;
    QFile ini(m_dir.filePath("player.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[json]\n");
    if (host.isValid())
        ini.write("host=" + host.toString().toUtf8() + "\n");
    if (port.isValid())
        ini.write("port=" + port.toString().toUtf8() + "\n");
}

void TestEngine::contextPropertiesDuringCreation()
{
    const QVariantMap seen = scene()->property("seenAtCreation").toMap();
    QCOMPARE(seen.value("spinner").toBool(), true);
    QCOMPARE(seen.value("qrCode").toBool(), true);
    QCOMPARE(seen.value("applicationEngine").toBool(), true);
    QCOMPARE(seen.value("utils").toBool(), true);
    QCOMPARE(seen.value("deviceUID").toBool(), false);
    QCOMPARE(seen.value("hostPort").toBool(), false);
}

void TestEngine::startupLoadsWithNothingConfigured()
{
    // The constructor ran with no arguments and no settings file.
    QCOMPARE(m_firstHostPort, QString(":"));
    QCOMPARE(m_firstJson, QString("http://:/ws/stream.php?action=get&device_uid="));
}

void TestEngine::configuration_data()
{
    QTest::addColumn<QVariantMap>("launch");
    QTest::addColumn<QVariant>("iniHost");
    QTest::addColumn<QVariant>("iniPort");
    QTest::addColumn<QString>("localFile"); // "", "file", "link-to-file", "link-to-dir"
    QTest::addColumn<QString>("hostPort");
    QTest::addColumn<QString>("source"); // "@" stands for the local schedule file path
    QTest::addColumn<QString>("deviceUID");

    const QVariant none;
    const QString api = "/ws/stream.php?action=get&device_uid=";

    QTest::addRow("nothing configured") << QVariantMap() << none << none << "" << ":" << "http://:" + api << "";
    QTest::addRow("settings host and port") << QVariantMap() << QVariant("srv") << QVariant("8080") << ""
                                            << "srv:8080" << "http://srv:8080" + api << "";
    QTest::addRow("launch host wins, settings port still used")
        << QVariantMap { { "host", "a" } } << QVariant("b") << QVariant("8080") << "" << "a:8080"
        << "http://a:8080" + api << "";
    QTest::addRow("launch port wins, settings host still used")
        << QVariantMap { { "port", "81" } } << QVariant("b") << QVariant("8080") << "" << "b:81"
        << "http://b:81" + api << "";
    QTest::addRow("host without port") << QVariantMap { { "host", "h" } } << none << none << "" << "h:"
                                       << "http://h:" + api << "";
    QTest::addRow("port without host") << QVariantMap() << none << QVariant("9") << "" << ":9"
                                       << "http://:9" + api << "";
    QTest::addRow("device id from the launch parameters only")
        << QVariantMap { { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "A1" } } << none << none << ""
        << "10.0.0.2:80" << "http://10.0.0.2:80" + api + "A1" << "A1";
    QTest::addRow("both dates appended")
        << QVariantMap { { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "A1" },
               { "startDate", "2016-01-01" }, { "endDate", "2016-01-31" } }
        << none << none << "" << "10.0.0.2:80"
        << "http://10.0.0.2:80" + api + "A1&startDate=2016-01-01&endDate=2016-01-31" << "A1";
    QTest::addRow("end date alone appended")
        << QVariantMap { { "host", "h" }, { "endDate", "2016-01-31" } } << none << none << "" << "h:"
        << "http://h:" + api + "&endDate=2016-01-31" << "";
    QTest::addRow("localhost with the local file")
        << QVariantMap { { "host", "localhost" }, { "deviceUid", "A1" }, { "startDate", "2016-01-01" } } << none
        << QVariant("80") << "file" << "localhost:80" << "file://@" << "A1";
    QTest::addRow("localhost from the settings file with the local file")
        << QVariantMap() << QVariant("localhost") << none << "file" << "localhost:" << "file://@" << "";
    QTest::addRow("localhost with a link to the local file")
        << QVariantMap { { "host", "localhost" } } << none << none << "link-to-file" << "localhost:" << "file://@"
        << "";
    QTest::addRow("localhost with a directory link instead of a file")
        << QVariantMap { { "host", "localhost" } } << none << none << "link-to-dir" << "localhost:"
        << "http://localhost:" + api << "";
    QTest::addRow("localhost without the local file")
        << QVariantMap { { "host", "localhost" } } << none << none << "" << "localhost:"
        << "http://localhost:" + api << "";
    QTest::addRow("127.0.0.1 is not localhost") << QVariantMap { { "host", "127.0.0.1" } } << none << none << "file"
                                                << "127.0.0.1:" << "http://127.0.0.1:" + api << "";
    QTest::addRow("json file wins over localhost")
        << QVariantMap { { "host", "localhost" }, { "jsonFile", "/srv/s.json" } } << none << none << "file"
        << "localhost:" << "file:///srv/s.json" << "";
    QTest::addRow("empty json file still present") << QVariantMap { { "jsonFile", "" } } << none << none << ""
                                                   << ":" << "file://" << "";
    QTest::addRow("relative json file is not made absolute")
        << QVariantMap { { "jsonFile", "rel/s.json" } } << none << none << "" << ":" << "file://rel/s.json" << "";
}

void TestEngine::configuration()
{
    QFETCH(QVariantMap, launch);
    QFETCH(QVariant, iniHost);
    QFETCH(QVariant, iniPort);
    QFETCH(QString, localFile);
    QFETCH(QString, hostPort);
    QFETCH(QString, source);
    QFETCH(QString, deviceUID);

    for (auto it = launch.cbegin(); it != launch.cend(); ++it)
        qApp->setProperty(it.key().toLatin1(), it.value());
    writeIni(iniHost, iniPort);

    const QString path = ApplicationEngine::localScheduleFile;
    QVERIFY(QDir().mkpath(m_dir.filePath("etc")));
    if (localFile == "file") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (localFile == "link-to-file") {
        QFile f(m_dir.filePath("etc/real.json"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(f.fileName(), path));
    } else if (localFile == "link-to-dir") {
        QVERIFY(QFile::link(m_dir.filePath("etc"), path));
    }

    const int before = scene()->property("loadCount").toInt();
    m_engine->initConfig();
    QCOMPARE(scene()->property("loadCount").toInt(), before + 1);
    QCOMPARE(scene()->property("lastJson").toString(), source.replace("@", path));
    QCOMPARE(scene()->property("lastHostPort").toString(), hostPort);
    QCOMPARE(m_engine->rootContext()->contextProperty("hostPort").toString(), hostPort);
    QCOMPARE(m_engine->rootContext()->contextProperty("deviceUID").toString(), deviceUID);
}

void TestEngine::debugOutputOnlyWhenVerbose_data()
{
    QTest::addColumn<QVariant>("bDebug");
    QTest::addColumn<bool>("printed");
    QTest::addRow("verbose") << QVariant(true) << true;
    QTest::addRow("not verbose") << QVariant(false) << false;
    QTest::addRow("flag absent") << QVariant() << false;
    QTest::addRow("flag is a string, not a boolean") << QVariant("yes") << false;
}

void TestEngine::debugOutputOnlyWhenVerbose()
{
    QFETCH(QVariant, bDebug);
    QFETCH(bool, printed);
    qApp->setProperty("bDebug", bDebug);
    qApp->setProperty("jsonFile", "/tmp/s.json");

    const QtMessageHandler previous = qInstallMessageHandler(collect);
    m_engine->initConfig();
    m_engine->emptyCache();
    qInstallMessageHandler(previous);

    const QString cacheDir
        = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/QtWebEngine/Default/Cache/";
    const QStringList expected = printed ? QStringList {
        "\"FUNCTION - initConfig - BEGIN\"",
        "\"FUNCTION - initConfig :file:///tmp/s.json\"",
        "\"FUNCTION - initConfig - END\"",
        "\"FUNCTION - emptyCache - BEGIN\"",
        "\"FUNCTION - BEGIN - dirPath:" + cacheDir + "\"",
        "\"FUNCTION - emptyCache - END\"",
    } : QStringList();
    QCOMPARE(g_messages, expected);
    QCOMPARE(scene()->property("lastDebug"), bDebug);
}

void TestEngine::webCache()
{
    const QString cacheDir
        = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/QtWebEngine/Default/Cache/";
    QDir().mkpath(cacheDir + "sub");
    const QTemporaryDir outside;
    auto touch = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    };
    QVERIFY(touch(cacheDir + "data_0"));
    QVERIFY(touch(cacheDir + ".hidden"));
    QVERIFY(touch(cacheDir + "sub/inner"));
    QVERIFY(touch(outside.filePath("target")));
    QVERIFY(QFile::link(outside.filePath("target"), cacheDir + "link"));

    m_engine->emptyCache();

    QVERIFY(!QFileInfo::exists(cacheDir + "data_0"));
    QVERIFY(!QFileInfo::exists(cacheDir + ".hidden"));
    QVERIFY(QFileInfo(cacheDir + "sub").isDir());
    QVERIFY(QFileInfo::exists(cacheDir + "sub/inner"));
    QVERIFY(QFileInfo(cacheDir + "link").isSymLink());
    QVERIFY(QFileInfo::exists(outside.filePath("target")));

    // A missing cache directory is simply nothing to do.
    QVERIFY(QDir(cacheDir).removeRecursively());
    m_engine->emptyCache();
    QVERIFY(!QFileInfo::exists(cacheDir));
}

void TestEngine::missingSceneRootIsHarmless()
{
    // A second engine whose scene cannot be loaded: configuration and commands
    // must not reach for a root object that does not exist.
    ApplicationEngine::sceneUrl = QUrl::fromLocalFile(m_dir.filePath("missing.qml"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("missing\\.qml"));
    ApplicationEngine broken;
    QVERIFY(broken.rootObjects().isEmpty());
    broken.initConfig();
    broken.command(R"({"cmd":"player_next","id":"1","device_id":"x"})");
    QCOMPARE(broken.spinner()->text(), QString("Next"));
    QCOMPARE(broken.rootContext()->contextProperty("hostPort").toString(), QString(":"));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine.moc"
