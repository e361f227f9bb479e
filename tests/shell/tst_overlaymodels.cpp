#include "ScheduleQRCode.h"
#include "Spinner.h"
#include "quickwindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Connects every change signal of a banner model to a log of signal names, so a
// test can see which signals fired and in what order.
static QStringList* logSpinner(Spinner* s, QStringList* log)
{
    auto add = [log](const char* name) { return [log, name] { log->append(QString::fromLatin1(name)); }; };
    QObject::connect(s, &Spinner::busyChanged, add("busy"));
    QObject::connect(s, &Spinner::runningChanged, add("running"));
    QObject::connect(s, &Spinner::textChanged, add("text"));
    QObject::connect(s, &Spinner::colorChanged, add("color"));
    QObject::connect(s, &Spinner::textColorChanged, add("textColor"));
    QObject::connect(s, &Spinner::imageSourceChanged, add("imageSource"));
    QObject::connect(s, &Spinner::imageVisibleChanged, add("imageVisible"));
    return log;
}

class TestOverlayModels : public QObject {
    Q_OBJECT

private slots:
    void spinnerInitialValues();
    void spinnerSettersAlwaysEmit_data();
    void spinnerSettersAlwaysEmit();
    void spinnerResetEmitsEachSignalOnceInOrder();
    void spinnerShowHideKeepStyling();
    void qrCodeShowHide();
    void utilsFromUserInput_data();
    void utilsFromUserInput();
};

void TestOverlayModels::spinnerInitialValues()
{
    Spinner s;
    QCOMPARE(s.color(), QColor(255, 255, 255, 200));
    QCOMPARE(s.textColor(), QColor(0, 0, 0, 255));
    QCOMPARE(s.text(), QString());
    QCOMPARE(s.imageSource(), QString());
    QCOMPARE(s.imageVisible(), false);
    QCOMPARE(s.running(), false);
    QCOMPARE(s.busy(), true);
}

void TestOverlayModels::spinnerSettersAlwaysEmit_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    // Each value equals the property's initial value: the signal must still fire,
    // through the C++ setter and through the property system QML uses.
    QTest::addRow("color unchanged") << "color" << QVariant(QColor(255, 255, 255, 200));
    QTest::addRow("textColor unchanged") << "textColor" << QVariant(QColor(0, 0, 0, 255));
    QTest::addRow("text unchanged") << "text" << QVariant(QString());
    QTest::addRow("imageSource unchanged") << "imageSource" << QVariant(QString());
    QTest::addRow("imageVisible unchanged") << "imageVisible" << QVariant(false);
    QTest::addRow("running unchanged") << "running" << QVariant(false);
    QTest::addRow("busy unchanged") << "busy" << QVariant(true);
}

void TestOverlayModels::spinnerSettersAlwaysEmit()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    Spinner s;
    QStringList log;
    logSpinner(&s, &log);
    QVERIFY(s.setProperty(property.toLatin1(), value));
    QVERIFY(s.setProperty(property.toLatin1(), value));
    QCOMPARE(log, QStringList({ property, property }));
    QCOMPARE(s.property(property.toLatin1()), value);
}

void TestOverlayModels::spinnerResetEmitsEachSignalOnceInOrder()
{
    Spinner s;
    s.setColor(Qt::red);
    s.setTextColor(Qt::blue);
    s.setImageSource("images/alert.png");
    s.setImageVisible(true);
    s.show("Alert", false);

    QStringList log;
    logSpinner(&s, &log);
    s.reset();
    QCOMPARE(log, QStringList({ "busy", "running", "text", "color", "textColor", "imageSource", "imageVisible" }));
    QCOMPARE(s.busy(), true);
    QCOMPARE(s.running(), false);
    QCOMPARE(s.text(), QString());
    QCOMPARE(s.color(), QColor(255, 255, 255, 200));
    QCOMPARE(s.textColor(), QColor(0, 0, 0, 255));
    QCOMPARE(s.imageSource(), QString());
    QCOMPARE(s.imageVisible(), false);
}

void TestOverlayModels::spinnerShowHideKeepStyling()
{
    Spinner s;
    QStringList log;
    logSpinner(&s, &log);

    s.show("Next", false);
    QCOMPARE(log, QStringList({ "text", "busy", "running" }));
    QCOMPARE(s.busy(), false);
    QCOMPARE(s.running(), true);

    // show(text) brings the busy indicator back: busy is set every time.
    s.show("Synchronizing...");
    QCOMPARE(s.busy(), true);
    QCOMPARE(s.text(), QString("Synchronizing..."));

    // hide() only stops the banner; colours and icon stay until reset().
    s.setColor(QColor(184, 218, 255, 200));
    s.setImageSource("images/info.png");
    s.setImageVisible(true);
    log.clear();
    s.hide();
    QCOMPARE(log, QStringList({ "running" }));
    QCOMPARE(s.running(), false);
    QCOMPARE(s.text(), QString("Synchronizing..."));
    s.show("Again", false);
    QCOMPARE(s.color(), QColor(184, 218, 255, 200));
    QCOMPARE(s.imageSource(), QString("images/info.png"));
    QCOMPARE(s.imageVisible(), true);
}

void TestOverlayModels::qrCodeShowHide()
{
    ScheduleQRCode q;
    QCOMPARE(q.value(), QString());
    QCOMPARE(q.visible(), false);
    QStringList log;
    connect(&q, &ScheduleQRCode::valueChanged, [&] { log << "value:" + q.value() + ":" + (q.visible() ? "1" : "0"); });
    connect(&q, &ScheduleQRCode::visibleChanged, [&] { log << QString("visible:") + (q.visible() ? "1" : "0"); });

    q.show("S1");
    q.show("S1"); // unchanged values still notify
    q.hide();
    q.hide();
    QCOMPARE(log, QStringList({ "value:S1:0", "visible:1", "value:S1:1", "visible:1", "visible:0", "visible:0" }));
    QCOMPARE(q.value(), QString("S1"));
}

void TestOverlayModels::utilsFromUserInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    // "@" stands for the test's temporary directory, where "a b.mp4" exists.
    QTest::addRow("existing absolute path") << "@/a b.mp4" << "file://@/a%20b.mp4";
    QTest::addRow("existing path relative to the working directory") << "a b.mp4" << "file://@/a%20b.mp4";
    QTest::addRow("missing path still a local file") << "/no/such/file.mp4" << "file:///no/such/file.mp4";
    QTest::addRow("host name becomes http") << "example.org/page" << "http://example.org/page";
    QTest::addRow("full url unchanged") << "rtsp://10.0.0.1:554/s" << "rtsp://10.0.0.1:554/s";
}

void TestOverlayModels::utilsFromUserInput()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("a b.mp4"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    Utils utils;
    const QUrl url = utils.fromUserInput(input.replace("@", dir.path()));
    QDir::setCurrent(previous);
    QCOMPARE(url.toString(QUrl::FullyEncoded), expected.replace("@", dir.path()));
}

QTEST_GUILESS_MAIN(TestOverlayModels)
#include "tst_overlaymodels.moc"
