// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApplicationEngine.h"
#include "AwakeDisplay.h"
#include "CommandLine.h"
#include "HeapTrimmer.h"
#include "PlayerTypes.h"
#include "QmlVlc.h"
#include "ScheduleTool.h"
#include "SystemdNotifier.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QtWebEngine/QtWebEngine>

int main(int argc, char* argv[])
{
    HeapTrimmer::limitArenas();

    // The GUI application aborts without a display; the usage, the version, a
    // mistake on the command line and the schedule tools must be answered without one.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(args);
    if (commandLine.outcome() != CommandLine::Run)
        return commandLine.answer();
    if (commandLine.isSet(QStringLiteral("check")) || commandLine.isSet(QStringLiteral("simulate")))
        return ScheduleTool::run(argc, argv, commandLine);

    initQmlVlc();
    registerPlayerTypes();

    // Without -v the console keeps warnings and errors; QT_LOGGING_RULES still overrides.
    QLoggingCategory::setFilterRules(commandLine.verbose()
            ? QStringLiteral("player.vlc.debug=true")
            : QStringLiteral("*.debug=false\nqml.info=false\njs.info=false"));

    // The web engine shares its OpenGL context with the scene graph: the attribute,
    // then the engine, both before the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QtWebEngine::initialize();

    QApplication app(argc, argv);
    ApplicationEngine engine;
    AwakeDisplay awake;
    awake.start();
    // Under systemd: ready once the event loop runs, then watchdog pings from it.
    SystemdNotifier notifier;
    notifier.start();
    HeapTrimmer trimmer;
    trimmer.start();
    return app.exec();
}
