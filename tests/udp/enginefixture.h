#pragma once

// An ApplicationEngine running the recorder scene of data/recorder.qml, with
// helpers to drive its handlers by direct call or by real datagram and to read
// back what the scene was asked to do.

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

// What the banner model shows, field by field.
struct Banner {
    bool running = false;
    QString text;
    bool busy = true;
    QColor color = Spinner::defaultColor();
    QColor textColor = Spinner::defaultTextColor();
    QString imageSource;
    bool imageVisible = false;

    static Banner hidden() { return Banner(); }
    static Banner plain(const QString& text)
    {
        Banner banner;
        banner.running = true;
        banner.text = text;
        banner.busy = false;
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
    static Banner of(const Spinner* spinner)
    {
        Banner banner;
        banner.running = spinner->running();
        banner.text = spinner->text();
        banner.busy = spinner->busy();
        banner.color = spinner->color();
        banner.textColor = spinner->textColor();
        banner.imageSource = spinner->imageSource();
        banner.imageVisible = spinner->imageVisible();
        return banner;
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
    bool operator==(const Banner& other) const
    {
        return running == other.running && text == other.text && busy == other.busy && color == other.color
            && textColor == other.textColor && imageSource == other.imageSource && imageVisible == other.imageVisible;
    }
};

inline QString describe(const Banner& banner)
{
    return QStringLiteral("running=%1 text=\"%2\" busy=%3 color=%4 textColor=%5 image=\"%6\" imageVisible=%7")
        .arg(banner.running)
        .arg(banner.text.left(40))
        .arg(banner.busy)
        .arg(banner.color.name(QColor::HexArgb), banner.textColor.name(QColor::HexArgb), banner.imageSource)
        .arg(banner.imageVisible);
}

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

    // Hands one command (port 8000) or sync (port 9000) datagram to the engine and
    // returns once it has been handled.
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
