// Remote datagrams, as the listeners on ports 8000 and 9000 hand them on (the UTF-8
// text before the first zero byte), to the engine's command and sync handlers (the
// first byte picks one) over tests/udp/data/recorder.qml, a scene that records what
// it is asked. The engine binds the player's UDP ports: run it in isolate.sh --net.
#include "fuzz.h"
#include "quickwindow.h"

#include <QApplication>

static QJSValue takeCalls(ApplicationEngine* engine)
{
    QVariant calls;
    QMetaObject::invokeMethod(engine->rootObjects().value(0), "takeCalls", Q_RETURN_ARG(QVariant, calls));
    return calls.value<QJSValue>();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ApplicationEngine* engine = [] {
        qputenv("QT_QPA_PLATFORM", "minimal");
        application<QApplication>();
        ApplicationEngine::sceneUrl = QUrl::fromLocalFile(QStringLiteral(RECORDER_SCENE));
        ApplicationEngine::localScheduleFile.clear();
        auto* e = new ApplicationEngine;
        return takeCalls(e).isArray() ? e : (qFatal("no recording scene"), nullptr);
    }();
    if (size == 0)
        return 0;
    // Every datagram meets the same player: no address or device filter left by a sync.
    for (const char* name : { "host", "port", "deviceUid", "jsonFile" })
        qApp->setProperty(name, QVariant());
    const QString text = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data) + 1, int(size) - 1).constData());
    data[0] & 1 ? engine->sync(text) : engine->command(text);
    QCoreApplication::processEvents();
    if (takeCalls(engine).property(QStringLiteral("length")).toInt() > 1)
        qFatal("one datagram asked the scene for more than one thing: %s", qUtf8Printable(text));
    return 0;
}
