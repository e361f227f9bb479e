#pragma once

// An ApplicationEngine running data/recorder.qml, a scene that records what it is
// asked to do, with helpers to drive its handlers and read the records back.

#include "Spinner.h"
#include "quickwindow.h"
#include "udptestsupport.h"

#include <QColor>
#include <QJSValue>
#include <QQmlContext>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

namespace udptest {

// What the banner model shows, field by field; the default is the hidden banner.
struct Banner {
    bool running = false;
    QString text;
    bool busy = true;
    QColor color = Spinner::defaultColor();
    QColor textColor = Spinner::defaultTextColor();
    QString imageSource;
    bool imageVisible = false;

    static Banner plain(const QString& text, bool busy = false)
    {
        Banner banner;
        banner.running = true;
        banner.text = text;
        banner.busy = busy;
        return banner;
    }
    static Banner notification(const QString& text, const QColor& color, const QString& image)
    {
        Banner banner = plain(text);
        banner.color = color;
        banner.imageSource = image;
        banner.imageVisible = true;
        return banner;
    }
    static Banner of(const Spinner* s)
    {
        return { s->running(), s->text(), s->busy(), s->color(), s->textColor(), s->imageSource(), s->imageVisible() };
    }
    void applyTo(Spinner* spinner) const
    {
        spinner->setColor(color);
        spinner->setTextColor(textColor);
        spinner->setText(text);
        spinner->setImageSource(imageSource);
        spinner->setImageVisible(imageVisible);
        spinner->setBusy(busy);
        spinner->setRunning(running);
    }
    bool operator==(const Banner& o) const
    {
        return running == o.running && text == o.text && busy == o.busy && color == o.color
            && textColor == o.textColor && imageSource == o.imageSource && imageVisible == o.imageVisible;
    }
    QString describe() const
    {
        return QStringLiteral("running=%1 text=\"%2\" busy=%3 color=%4 textColor=%5 image=\"%6\" imageVisible=%7")
            .arg(running)
            .arg(text.left(40))
            .arg(busy)
            .arg(color.name(QColor::HexArgb), textColor.name(QColor::HexArgb), imageSource)
            .arg(imageVisible);
    }
};

#define COMPARE_BANNER(shown, expected)                                                                            \
    QVERIFY2((shown) == (expected), qPrintable((shown).describe() + "\n   expected " + (expected).describe()))

enum class Transport { DirectCall, Datagram };

inline QVariantList toList(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QJSValue>())
        return value.value<QJSValue>().toVariant().toList();
    return value.toList();
}

class EngineFixture {
public:
    ApplicationEngine* engine = nullptr;
    QObject* root = nullptr;
    QObject* stack = nullptr;

    bool start(const QString& sceneFile)
    {
        ApplicationEngine::sceneUrl = QUrl::fromLocalFile(sceneFile);
        engine = new ApplicationEngine();
        if (engine->rootObjects().isEmpty())
            return false;
        root = engine->rootObjects().first();
        stack = root->findChild<QObject*>(QStringLiteral("stack"));
        return stack != nullptr;
    }

    Spinner* spinner() const { return engine->spinner(); }
    QTimer* timer() const { return engine->spinnerTimer(); }

    QStringList takeCalls() const
    {
        QVariant taken;
        QMetaObject::invokeMethod(stack, "takeCalls", Q_RETURN_ARG(QVariant, taken));
        QStringList calls;
        for (const QVariant& call : toList(taken))
            calls << call.toString();
        return calls;
    }

    // Each load as [json, hostPort, bDebug].
    QList<QVariantList> takeLoads() const
    {
        QVariant taken;
        QMetaObject::invokeMethod(root, "takeLoads", Q_RETURN_ARG(QVariant, taken));
        QList<QVariantList> loads;
        for (const QVariant& load : toList(taken)) {
            const QVariantMap map = load.toMap();
            loads << QVariantList { map.value("json"), map.value("hostPort"), map.value("bDebug") };
        }
        return loads;
    }

    QVariant contextProperty(const char* name) const { return engine->rootContext()->contextProperty(QLatin1String(name)); }

    // Hands a command (port 8000) or sync (9000) datagram to the engine; returns once handled.
    bool deliver(const QByteArray& json, quint16 port, Transport transport) const
    {
        if (transport == Transport::DirectCall) {
            if (port == 8000)
                engine->command(QString::fromUtf8(json));
            else
                engine->sync(QString::fromUtf8(json));
            return true;
        }
        const long before = datagramsRead();
        QUdpSocket socket;
        if (socket.writeDatagram(json, QHostAddress::LocalHost, port) != json.size())
            return false;
        return waitDatagramsRead(before, 1);
    }
};

} // namespace udptest

Q_DECLARE_METATYPE(udptest::Banner)
Q_DECLARE_METATYPE(udptest::Transport)
