// The transition expression evaluator on any "from" or "to" text: a finite number or
// undefined, never anything else nor an exception. The first byte picks the scope:
// well-formed, empty, none, or with members that are not numbers or throw.
#include "fuzz.h"

#include <QCoreApplication>

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QCoreApplication application(fuzzArgc, fuzzArgv);
    static QJSEngine* engine = new QJSEngine;
    static QJSValue evaluate = loadModule(*engine, "expression").property(QStringLiteral("evaluate"));
    static const QJSValue scopes = engine->evaluate(QStringLiteral(
        "[{ width: 1920, height: 1080, mainWindow: { width: 1920, height: 1080 }, stack: { width: 1280, height: 720 } "
        "},"
        " {}, null, { width: '5', height: NaN, mainWindow: 7, stack: { get width() { throw new Error('read'); } } }]"));
    if (size == 0)
        return 0;
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, int(size) - 1);
    const QJSValue result = evaluate.call({ value, scopes.property(data[0] % 4) });
    takeScriptCoverage(*engine);
    if (!result.isUndefined() && !(result.isNumber() && std::isfinite(result.toNumber())))
        qFatal("evaluate() gave neither a finite number nor undefined: %s -> %s", qUtf8Printable(value),
            qUtf8Printable(result.toString()));
    return 0;
}
