// Datagrams as the listeners on ports 8000 and 9000 pass them on (UTF-8 up to a zero
// byte) to the command or sync handler (the first byte picks), over tests/udp/data/
// recorder.qml. The engine binds the player's UDP ports: run it in isolate.sh --net.
#include "ApplicationEngine.h"
#include "fuzz.h"

#include <QApplication>

static int takeCalls(ApplicationEngine* engine)
{
    QVariant calls;
    QMetaObject::invokeMethod(engine->rootObjects().value(0), "takeCalls", Q_RETURN_ARG(QVariant, calls));
    return calls.value<QJSValue>().property(QStringLiteral("length")).toInt();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ApplicationEngine* engine = [] {
        qputenv("QT_QPA_PLATFORM", "minimal");
        static QApplication application(fuzzArgc, fuzzArgv);
        ApplicationEngine::sceneUrl = QUrl::fromLocalFile(QStringLiteral(RECORDER_SCENE));
        ApplicationEngine::localScheduleFile.clear();
        auto* e = new ApplicationEngine;
        return takeCalls(e) == 1 ? e : (qFatal("no recording scene"), nullptr);
    }();
    if (size == 0)
        return 0;
    // Every datagram meets the same player: no address or device filter left by a sync.
    for (const char* name : { "host", "port", "deviceUid", "jsonFile" })
        qApp->setProperty(name, QVariant());
    const QString text
        = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data) + 1, int(size) - 1).constData());
    data[0] & 1 ? engine->sync(text) : engine->command(text);
    QCoreApplication::processEvents();
    if (takeCalls(engine) > 1)
        qFatal("one datagram asked the scene for more than one thing: %s", qUtf8Printable(text));
    return 0;
}
