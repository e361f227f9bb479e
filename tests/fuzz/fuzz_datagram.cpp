// Datagrams as the listeners on ports 8000 and 9000 pass them on (UTF-8 up to a zero
// byte) to the command or sync handler (the first byte picks): RemoteCommands alone,
// with the banner model, launch parameters of its own and a stand-in for the
// scene's "stack" that counts what it is asked. No socket, no scene, no engine.
#include "RemoteCommands.h"
#include "Spinner.h"
#include "fuzz.h"

#include <QCoreApplication>
#include <QVariant>

// The scene's "stack" as the handlers see it: every operation they may call.
class Stack : public QObject {
    Q_OBJECT

public:
    int calls = 0;

    Q_INVOKABLE void goToPreviousComposition() { ++calls; }
    Q_INVOKABLE void goToNextComposition() { ++calls; }
    Q_INVOKABLE void pausePlayer() { ++calls; }
    Q_INVOKABLE void resumePlayer() { ++calls; }
    Q_INVOKABLE void playSchedule(const QVariant&) { ++calls; }
    Q_INVOKABLE void playDefaultSchedule() { ++calls; }
};

namespace {

struct Handlers {
    Spinner banner;
    QObject launch;
    Stack stack;
    RemoteCommands remote { &banner, &launch, [this] { return &stack; } };
    int reconfigured = 0;

    Handlers()
    {
        QObject::connect(&remote, &RemoteCommands::configurationChanged, [this] { ++reconfigured; });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Handlers* handlers = [] {
        static QCoreApplication application(fuzzArgc, fuzzArgv);
        return new Handlers;
    }();
    if (size == 0)
        return 0;
    // Every datagram meets the same player: no address or device filter left by a sync.
    for (const char* name : { "host", "port", "deviceUid", "jsonFile" })
        handlers->launch.setProperty(name, QVariant());
    handlers->stack.calls = 0;
    handlers->reconfigured = 0;
    const QString text
        = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data) + 1, int(size) - 1).constData());
    data[0] & 1 ? handlers->remote.sync(text) : handlers->remote.command(text);
    QCoreApplication::processEvents();
    if (handlers->stack.calls + handlers->reconfigured > 1)
        qFatal("one datagram asked the scene for more than one thing: %s", qUtf8Printable(text));
    return 0;
}

#include "fuzz_datagram.moc"
