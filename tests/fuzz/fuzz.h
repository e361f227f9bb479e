// What the fuzz targets share. libFuzzer follows only code built with clang's
// coverage hooks, which Qt's script engine is not; so each block of a scene script
// (a line ending in "{") notes its number as it runs, and takeScriptCoverage()
// hands those to libFuzzer as extra counters.
#pragma once

#include <QFile>
#include <QJSEngine>
#include <QRegularExpression>

__attribute__((used, section("__libfuzzer_extra_counters"))) static uint8_t scriptBlocks[4096];

// For the application object: libFuzzer's options must not reach the player's.
static int fuzzArgc = 1;
static char* fuzzArgv[] = { const_cast<char*>("fuzz"), nullptr };

// sources/scene/qml/js/<name>.js as an object of its top-level names, like the scene's import.
inline QJSValue loadModule(QJSEngine& engine, const char* name)
{
    static int block = 0;
    QFile file(QStringLiteral(PLAYER_JS_DIR "/%1.js").arg(QLatin1String(name)));
    file.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')), names;
    for (QString& line : lines) {
        const QString declared = QRegularExpression(QStringLiteral("^(?:function|var) (\\w+)")).match(line).captured(1);
        names << (declared.isEmpty() ? QString() : declared + QLatin1Char(':') + declared + QLatin1Char(','));
        line = line.startsWith(QLatin1String(".pragma")) ? QString()
            : line.endsWith(QLatin1Char('{')) ? line + QStringLiteral(" __blocks.push(%1);").arg(block++ % 4096)
                                              : line;
    }
    const QJSValue module
        = engine.evaluate(QStringLiteral("var __blocks = []; (function () {") + lines.join(QLatin1Char('\n'))
                + QStringLiteral("\nreturn {") + names.join(QString()) + QStringLiteral("}; })()"),
            file.fileName());
    if (module.isError() || !file.exists())
        qFatal("cannot load %s: %s", qUtf8Printable(file.fileName()), qUtf8Printable(module.toString()));
    return module;
}

inline void takeScriptCoverage(QJSEngine& engine)
{
    for (const QVariant& block : engine.evaluate(QStringLiteral("__blocks.splice(0)")).toVariant().toList())
        scriptBlocks[block.toInt()] += scriptBlocks[block.toInt()] < 255;
}
