// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApplicationEngine.h"
#include "HeapTrimmer.h"
#include "PlayerTypes.h"
#include "QmlVlc.h"
#include "ScheduleTool.h"
#include "SystemdNotifier.h"

#include <QApplication>
#include <QtWebEngine/QtWebEngine>

int main(int argc, char* argv[])
{
    HeapTrimmer::limitArenas();

    // --check and --simulate answer about a schedule and exit, without a display.
    if (const int status = ScheduleTool::run(argc, argv); status != ScheduleTool::notATool)
        return status;

    // The GUI application aborts without a display; asking for the usage text
    // must not need one.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QObject launch;
    if (!ApplicationEngine::parseArgumentList(args, &launch)) {
        ApplicationEngine::help();
        return 0;
    }

    initQmlVlc();
    registerPlayerTypes();

    // The web engine shares its OpenGL context with the scene graph; the attribute
    // must be in place before the application object is constructed.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    ApplicationEngine engine;
    QtWebEngine::initialize();
    // Under systemd: ready once the event loop runs, then watchdog pings from it.
    SystemdNotifier notifier;
    notifier.start();
    HeapTrimmer trimmer;
    trimmer.start();
    return app.exec();
}
