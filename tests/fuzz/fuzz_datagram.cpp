// Datagrams as the listeners on ports 8000 and 9000 pass them on (UTF-8 up to a zero
// byte) to the command or sync handler (the first byte picks): RemoteCommands alone,
// with the banner model, launch parameters of its own and tst_udp's recording scene,
// whose "stack" notes what it is asked. No socket, no engine.
#include "RemoteCommands.h"
#include "Spinner.h"
#include "fuzz.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>

namespace {

struct Handlers {
    QQmlEngine qml;
    QObject* scene = QQmlComponent(&qml, QUrl::fromLocalFile(PLAYER_UDP_TEST_DATA "/recorder.qml")).create();
    Spinner banner;
    QObject launch;
    RemoteCommands remote { &banner, &launch, [this] { return scene->findChild<QObject*>("stack"); } };
    int reconfigured = 0;

    Handlers()
    {
        if (!scene)
            qFatal("cannot load %s", PLAYER_UDP_TEST_DATA "/recorder.qml");
        QObject::connect(&remote, &RemoteCommands::configurationChanged, [this] { ++reconfigured; });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Handlers* handlers = [] {
        static QGuiApplication application(fuzzArgc, fuzzArgv);
        return new Handlers;
    }();
    if (size == 0)
        return 0;
    // Every datagram meets the same player: no address or device filter left by a sync.
    for (const char* name : { "host", "port", "deviceUid", "jsonFile" })
        handlers->launch.setProperty(name, QVariant());
    handlers->reconfigured = 0;
    const QString text
        = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data) + 1, int(size) - 1).constData());
    data[0] & 1 ? handlers->remote.sync(text) : handlers->remote.command(text);
    QCoreApplication::processEvents();
    QVariant calls;
    QMetaObject::invokeMethod(handlers->scene, "takeCalls", Q_RETURN_ARG(QVariant, calls));
    if (calls.value<QJSValue>().property(QStringLiteral("length")).toInt() + handlers->reconfigured > 1)
        qFatal("one datagram asked the scene for more than one thing: %s", qUtf8Printable(text));
    return 0;
}
