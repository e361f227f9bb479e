// The two overlays (banner, QR code square with its canvas) in a 1920 x 1080
// window bound to the real Spinner and ScheduleQRCode models. Geometry is read
// from the items, colours from a grab, and the QR code back with zbarimg.

#include "ScheduleQRCode.h"
#include "Spinner.h"

#include <QFontMetricsF>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The overlays as the scene declares them: after the compositions, banner
// then QR code. A green plane stands in for the composition on screen.
const char fixture[] = "import QtQuick 2.7\n"
                       "import QtQuick.Controls 1.4\n"
                       "ApplicationWindow {\n"
                       "    x: 0; y: 0; width: 1920; height: 1080\n"
                       "    visible: true\n"
                       "    color: '#000000'\n"
                       "    Rectangle { width: 1920; height: 1080; color: '#208020' }\n"
                       "    SpinnerItem {}\n"
                       "    ScheduleQRCodeItem {}\n"
                       "}\n";

// With OVERLAY_IN_SCENE set, the same checks run on the real scene instead,
// with the green plane laid into its stack view.
const char plane[] = "import QtQuick 2.7\n"
                     "Rectangle { width: 1920; height: 1080; color: '#208020' }\n";

const QColor composition(0x20, 0x80, 0x20);

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

// The pixel that contains a scene point (not the nearest pixel corner).
QPoint pixelOf(const QPointF& p)
{
    return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

QString describe(const QColor& c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

#define VERIFY_PIXEL(image, point, colour, tolerance)                                                        \
    do {                                                                                                       \
        const QColor seen_ = (image).pixelColor(point);                                                        \
        QVERIFY2(near(seen_, colour, tolerance), qPrintable(describe(seen_)));                                 \
    } while (false)

} // namespace

class tst_Overlay : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void bannerWidth_data();
    void bannerWidth();
    void bannerVisibility();
    void bannerIcon_data();
    void bannerIcon();
    void qrSquareGeometry();
    void qrOnScreen_data();
    void qrOnScreen();
    void qrFollowsModel();

private:
    QQuickItem* item(const char* name) const;
    QImage grab();
    QString decode(const QImage& image, const QString& name);
    bool waitForPaint();

    QQmlEngine m_engine;
    Spinner m_spinner;
    ScheduleQRCode m_qrCode;
    QQuickWindow* m_window = nullptr;
    QQuickItem* m_banner = nullptr;
    QQuickItem* m_square = nullptr;
    QQuickItem* m_canvas = nullptr;
    bool m_inScene = false;
};

void tst_Overlay::initTestCase()
{
    m_engine.rootContext()->setContextProperty(QStringLiteral("spinner"), &m_spinner);
    m_engine.rootContext()->setContextProperty(QStringLiteral("qrCode"), &m_qrCode);
    m_inScene = qEnvironmentVariableIsSet("OVERLAY_IN_SCENE");
    QQmlComponent component(&m_engine);
    if (m_inScene) {
        m_engine.rootContext()->setContextProperty(QStringLiteral("applicationEngine"), new QObject(this));
        m_engine.rootContext()->setContextProperty(QStringLiteral("deviceUID"), QStringLiteral("DEV-1"));
        component.loadUrl(QUrl(QStringLiteral("qrc:/quickwindow.qml")));
    } else {
        // At the root of the resources, beside the scene, so the item files
        // are found as they are from quickwindow.qml.
        component.setData(fixture, QUrl(QStringLiteral("qrc:/overlay_fixture.qml")));
    }
    QObject* root = component.create();
    QVERIFY2(root, qPrintable(component.errorString()));
    root->setParent(this);
    m_window = qobject_cast<QQuickWindow*>(root);
    QVERIFY(m_window);
    if (m_inScene) {
        // No window manager here to honour the scene's full-screen request.
        m_window->setVisibility(QWindow::Windowed);
        m_window->setGeometry(0, 0, 1920, 1080);
    }
    QVERIFY(QTest::qWaitForWindowExposed(m_window, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->width(), 1920, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->height(), 1080, 15000);

    if (m_inScene) {
        auto* stack = item("stack");
        QVERIFY(stack);
        QQmlComponent planeComponent(&m_engine);
        planeComponent.setData(plane, QUrl());
        auto* green = qobject_cast<QQuickItem*>(planeComponent.create());
        QVERIFY(green);
        green->setParent(stack);
        green->setParentItem(stack);
    }

    // The banner holds the busy indicator (in its row), the square the canvas.
    m_canvas = item("qrCode");
    QVERIFY(item("spinner") && item("spinner")->parentItem());
    m_banner = item("spinner")->parentItem()->parentItem();
    m_square = m_canvas ? m_canvas->parentItem() : nullptr;
    QVERIFY(m_banner && m_square && m_canvas);
    QCOMPARE(m_banner->parentItem(), m_square->parentItem());
    QVERIFY(item("icon"));
    QVERIFY(item("text"));
}

// The window goes before the models it binds to.
void tst_Overlay::cleanupTestCase()
{
    delete m_window;
    m_window = nullptr;
}

void tst_Overlay::init()
{
    m_spinner.reset();
    m_qrCode.hide();
    m_qrCode.setValue(QString());
}

QQuickItem* tst_Overlay::item(const char* name) const
{
    const QString objectName = QString::fromLatin1(name);
    if (auto* found = m_window->findChild<QQuickItem*>(objectName))
        return found;
    return m_window->contentItem()->findChild<QQuickItem*>(objectName);
}

QImage tst_Overlay::grab()
{
    return m_window->grabWindow().convertToFormat(QImage::Format_RGB32);
}

// The canvas paints asynchronously after a change; wait for that paint.
bool tst_Overlay::waitForPaint()
{
    QSignalSpy painted(m_canvas, SIGNAL(painted()));
    m_canvas->update();
    QMetaObject::invokeMethod(m_canvas, "requestPaint");
    return painted.count() > 0 || painted.wait(15000);
}

QString tst_Overlay::decode(const QImage& image, const QString& name)
{
    const QString file = qEnvironmentVariable("PLAYER_TEST_TMP", QDir::tempPath()) + QLatin1Char('/') + name
        + QStringLiteral(".png");
    if (!image.save(file))
        return QStringLiteral("<not saved>");
    QProcess p;
    p.start(QStringLiteral("zbarimg"), { "--nodbus", "--quiet", "--raw", "-Sbinary", file });
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("<no symbol>");
    QByteArray out = p.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    return QString::fromUtf8(out);
}

void tst_Overlay::bannerWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("icon");
    QTest::addColumn<bool>("minimum");

    const QString longText = QStringLiteral("Synchronizing the schedule with the server, please wait");
    QTest::addRow("no text, busy, with icon") << "" << true << true << true;
    QTest::addRow("long text, not busy") << longText << false << false << false;
    QTest::addRow("long text, busy, with icon") << longText << true << true << false;
}

// 320 wide at least, otherwise indicator + icon + text + 20; the right edge
// stays 10 from the window's, the top at 10, 80 high.
void tst_Overlay::bannerWidth()
{
    QFETCH(QString, text);
    QFETCH(bool, busy);
    QFETCH(bool, icon);
    QFETCH(bool, minimum);

    m_spinner.setImageSource(QStringLiteral("images/info.png"));
    m_spinner.setImageVisible(icon);
    m_spinner.show(text, busy);
    QVERIFY(m_banner->isVisible());

    QQuickItem* indicator = item("spinner");
    QQuickItem* iconItem = item("icon");
    QCOMPARE(indicator->isVisible(), busy);
    QCOMPARE(iconItem->isVisible(), icon);
    QCOMPARE(iconItem->width(), iconItem->height());
    QVERIFY(iconItem->height() > 20);

    QFont font(QStringLiteral("Verdana"));
    font.setPointSize(24);
    // Only roughly: the scene converts points to pixels with the screen's resolution.
    const qreal textWidth = item("text")->property("paintedWidth").toReal();
    QVERIFY(qAbs(textWidth - QFontMetricsF(font).horizontalAdvance(text)) <= 0.05 * textWidth + 1);
    const qreal content = (busy ? indicator->implicitWidth() : 0) + (icon ? iconItem->width() : 0) + textWidth + 20;
    if (minimum) {
        QVERIFY2(content <= 320, qPrintable(QString::number(content)));
        QCOMPARE(m_banner->width(), 320.0);
    } else {
        QVERIFY2(content > 330, qPrintable(QString::number(content)));
        QVERIFY2(qFuzzyCompare(m_banner->width(), content), qPrintable(QString::number(m_banner->width())));
    }
    QCOMPARE(m_banner->x() + m_banner->width(), 1910.0);
    QCOMPARE(m_banner->y(), 10.0);
    QCOMPARE(m_banner->height(), 80.0);

    // On screen: the banner's colour just inside both ends, the composition
    // just outside its left end.
    m_spinner.setColor(QColor(230, 40, 40));
    const QImage shot = grab();
    const int mid = int(m_banner->y() + 40);
    const int left = int(m_banner->x());
    VERIFY_PIXEL(shot, QPoint(left + 3, mid), QColor(230, 40, 40), 8);
    VERIFY_PIXEL(shot, QPoint(1906, mid), QColor(230, 40, 40), 8);
    VERIFY_PIXEL(shot, QPoint(left - 4, mid), composition, 8);
    VERIFY_PIXEL(shot, QPoint(1914, mid), composition, 8);
}

// running shows and hides the banner; hide() keeps the text.
void tst_Overlay::bannerVisibility()
{
    QVERIFY(!m_banner->isVisible());
    VERIFY_PIXEL(grab(), QPoint(1700, 50), composition, 8);

    m_spinner.setColor(QColor(255, 255, 255));
    m_spinner.show(QStringLiteral("Synchronizing..."));
    QVERIFY(m_banner->isVisible());
    QVERIFY(item("spinner")->isVisible());
    QCOMPARE(item("spinner")->property("running").toBool(), true);
    QVERIFY(!item("icon")->isVisible());
    QCOMPARE(item("text")->property("text").toString(), QStringLiteral("Synchronizing..."));
    VERIFY_PIXEL(grab(), QPoint(1905, 50), QColor(255, 255, 255), 8);

    // Text in the model's text colour somewhere on the banner.
    m_spinner.show(QStringLiteral("Next"), false);
    m_spinner.setTextColor(QColor(0, 0, 255));
    const QImage shot = grab();
    bool blueText = false;
    for (int x = int(m_banner->x()); x < 1910 && !blueText; ++x)
        for (int y = 20; y < 80 && !blueText; ++y)
            blueText = near(shot.pixelColor(x, y), QColor(0, 0, 255), 60);
    QVERIFY(blueText);

    m_spinner.hide();
    QVERIFY(!m_banner->isVisible());
    QCOMPARE(item("text")->property("text").toString(), QStringLiteral("Next"));
    QCOMPARE(item("spinner")->property("running").toBool(), false);
    VERIFY_PIXEL(grab(), QPoint(1905, 50), composition, 8);
}

void tst_Overlay::bannerIcon_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QPointF>("point"); // fraction of the icon
    QTest::addColumn<QColor>("expected");

    QTest::addRow("info: dark-blue disc") << "images/info.png" << QPointF(0.15, 0.5) << QColor(0x1b, 0x3a, 0x7a);
    QTest::addRow("info: white check mark") << "images/info.png" << QPointF(0.43, 0.66) << QColor(255, 255, 255);
    QTest::addRow("info: transparent corner") << "images/info.png" << QPointF(0.04, 0.04) << QColor(255, 255, 255);
    QTest::addRow("warning: ochre ring") << "images/warning.png" << QPointF(0.5, 0.07) << QColor(0xc9, 0x8a, 0x12);
    QTest::addRow("alert: red triangle") << "images/alert.png" << QPointF(0.3, 0.78) << QColor(0xd4, 0x2a, 0x20);
}

// The engine names icons by paths relative to the scene; they must load from
// the resources and show their drawing on the (white) banner.
void tst_Overlay::bannerIcon()
{
    QFETCH(QString, source);
    QFETCH(QPointF, point);
    QFETCH(QColor, expected);

    m_spinner.setColor(QColor(255, 255, 255));
    m_spinner.setImageSource(source);
    m_spinner.setImageVisible(true);
    m_spinner.show(QStringLiteral("Notification"), false);
    QQuickItem* icon = item("icon");
    QTRY_COMPARE_WITH_TIMEOUT(icon->property("status").toInt(), 1, 15000); // Image.Ready
    const QImage shot = grab(); // also lays out the row
    QCOMPARE(icon->property("source").toUrl(), QUrl(QStringLiteral("qrc:/") + source));
    QCOMPARE(icon->property("sourceSize").toSize(), QSize(512, 512));

    const QPointF at = icon->mapToScene(QPointF(point.x() * icon->width(), point.y() * icon->height()));
    VERIFY_PIXEL(shot, at.toPoint(), expected, 40);
}

// 9 % of the window width, half a side from the right and bottom edges; the
// canvas 5 smaller, three quarters of the difference in from the corner.
void tst_Overlay::qrSquareGeometry()
{
    QVERIFY(!m_square->isVisible());
    m_qrCode.show(QStringLiteral("geometry"));
    QVERIFY(m_square->isVisible());
    QVERIFY(qFuzzyCompare(m_square->width(), 172.8));
    QVERIFY(qFuzzyCompare(m_square->height(), 172.8));
    QVERIFY(qFuzzyCompare(1920 - (m_square->x() + m_square->width()), 86.4));
    QVERIFY(qFuzzyCompare(1080 - (m_square->y() + m_square->height()), 86.4));
    QVERIFY(qFuzzyCompare(m_canvas->width(), 167.8));
    QVERIFY(qFuzzyCompare(m_canvas->height(), 167.8));
    QVERIFY(qFuzzyCompare(m_canvas->x(), 3.75));
    QVERIFY(qFuzzyCompare(m_canvas->y(), 3.75));
    QCOMPARE(m_canvas->property("level").toString(), QStringLiteral("H"));

    // The square follows the window's size (a full-screen scene keeps its own).
    if (m_inScene)
        return;
    m_window->setWidth(1280);
    QTRY_VERIFY_WITH_TIMEOUT(qFuzzyCompare(m_square->width(), 115.2), 15000);
    QVERIFY(qFuzzyCompare(1280 - (m_square->x() + m_square->width()), 57.6));
    m_window->setWidth(1920);
    QTRY_VERIFY_WITH_TIMEOUT(qFuzzyCompare(m_square->width(), 172.8), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(grab().width(), 1920, 15000);
}

void tst_Overlay::qrOnScreen_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("modules");

    QTest::addRow("a short identifier") << "42" << 21;
    QTest::addRow("a long identifier") << QString(120, QLatin1Char('x')) + QStringLiteral("-end") << 61;
}

// What is painted on screen reads back as the value; a longer value takes a
// bigger version with smaller modules inside the same square.
void tst_Overlay::qrOnScreen()
{
    QFETCH(QString, value);
    QFETCH(int, modules);

    m_qrCode.show(value);
    QVERIFY(waitForPaint());
    const QImage shot = grab();
    const QRect square = QRectF(m_square->x(), m_square->y(), m_square->width(), m_square->height()).toAlignedRect();
    QCOMPARE(decode(shot.copy(square.adjusted(-20, -20, 20, 20)), QStringLiteral("screen")), value);

    // The symbol starts at the canvas's corner (the finder pattern's dark
    // corner module) and ends at modules * floor(side / modules).
    const int moduleSize = int(std::floor(167.8 / modules));
    const QPointF origin = m_canvas->mapToScene(QPointF(0, 0));
    VERIFY_PIXEL(shot, pixelOf(origin + QPointF(moduleSize / 2.0, moduleSize / 2.0)), Qt::black, 60);
    // The last module column of the top finder row is dark, the next one is light.
    VERIFY_PIXEL(shot, pixelOf(origin + QPointF(modules * moduleSize - moduleSize / 2.0, moduleSize / 2.0)), Qt::black, 60);
    VERIFY_PIXEL(shot, pixelOf(origin + QPointF(modules * moduleSize + 1.5, moduleSize / 2.0)), Qt::white, 60);
    // Nothing dark in the margin between the symbol and the square's edge.
    for (int x = int(origin.x() + modules * moduleSize + 2); x < square.right() - 1; ++x)
        for (int y = square.top() + 2; y < square.bottom() - 1; ++y)
            QVERIFY(shot.pixelColor(x, y).lightness() > 200);
}

// The overlay follows the model: an empty value is still a symbol; hiding
// shows the composition again.
void tst_Overlay::qrFollowsModel()
{
    m_qrCode.show(QString());
    QVERIFY(m_square->isVisible());
    QVERIFY(waitForPaint());
    VERIFY_PIXEL(grab(), pixelOf(m_canvas->mapToScene(QPointF(1, 1))), Qt::black, 60);

    const QPoint centre = m_square->mapToScene(QPointF(m_square->width() / 2, m_square->height() / 2)).toPoint();
    m_qrCode.hide();
    QVERIFY(!m_square->isVisible());
    VERIFY_PIXEL(grab(), centre, composition, 8);

    m_qrCode.show(QStringLiteral("again"));
    QVERIFY(waitForPaint());
    QCOMPARE(decode(grab().copy(QRect(1600, 760, 320, 320)), QStringLiteral("again")), QStringLiteral("again"));
}

QTEST_MAIN(tst_Overlay)
#include "tst_overlay.moc"
