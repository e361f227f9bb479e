// Schedule documents: reader and intake on any body fetched from a server, then what
// the scene does with the result in short (what plays today, durations and
// transitions). Nothing may throw; the scene meets only well-formed parts.
#include "ScheduleSource.h"
#include "fuzz.h"

#include <QCoreApplication>
#include <QLoggingCategory>

static const char* const takeDocument = R"((function (document) {
    var F = Functions, scope = { width: 1920, height: 1080, stack: { width: 1920, height: 1080 } };
    var schedule = document.schedule, sequences = schedule.sequences;
    sequences.forEach(function (s) {
        if (!F.isObject(s.diffusion) || !F.isObject(s.sequence.global_properties))
            throw new Error("an entry the scene cannot play");
        s.sequence.elements.forEach(function (e) { if (!F.isObject(e.attributes)) throw new Error("no attributes"); });
    });
    var playing = sequences.filter(function (entry) { return F.diffusionAllows(entry, new Date(2026, 11, 7, 12, 30)); });
    playing.forEach(function (entry, i) {
        F.nextEntryWithElements(playing, i + 1) + F.previousEntryWithElements(playing, i - 1);
        F.elementsOf(entry).forEach(function (element) {
            F.timerInterval(F.effectiveDuration(element, entry));
            ["enter", "exit"].forEach(function (name) {
                var part = F.transitionPart(element, entry, name);
                if (F.reverseTransitionPart(F.copyTransitionPart(part)) && isFinite(Number(part.duration)))
                    Expression.evaluate(part.from, scope) + Expression.evaluate(part.to, scope);
            });
        });
    });
    return "" + schedule.schedule_uid + F.countElements(playing);
}))";

// Qt's JSON reader has no coverage hooks, so byte mutations seldom give JSON of a new
// shape. Half the mutations put a value of another kind after a random ":" instead,
// moving the value there to a member of its own: the body stays JSON.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed)
{
    static const char* const values[]
        = { "{}", "[]", "[{}]", "null", "0", "\"\"", "{\"__proto__\":null}", "{\"toString\":0}" };
    QByteArray body(reinterpret_cast<const char*>(data), int(size));
    const int colon = body.indexOf(':', int(seed % (size + 1)));
    body.insert(colon + 1, values[seed / 2 % 8] + QByteArrayLiteral(",\"_\":"));
    if (seed % 2 || colon < 0 || size_t(body.size()) > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    memcpy(data, body.constData(), size_t(body.size()));
    return size_t(body.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QCoreApplication application(fuzzArgc, fuzzArgv);
    static QJSEngine* engine = new QJSEngine;
    static QJSValue take = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("schedule.warning=false")); // the check's lines, every input
        for (const char* name : { "Functions", "Expression" })
            engine->globalObject().setProperty(QLatin1String(name), loadModule(*engine, QByteArray(name).toLower()));
        return engine->evaluate(QString::fromUtf8(takeDocument));
    }();
    const QJsonObject document
        = ScheduleSource::takeDocument(QByteArray(reinterpret_cast<const char*>(data), int(size)),
            QStringLiteral("http://server/ws/stream.php"), QStringLiteral("server:80"), nullptr, nullptr);
    // Handed over the way ScheduleSource hands it to the scene.
    const QJSValue result = document.isEmpty() ? QJSValue() : take.call({ engine->toScriptValue(document) });
    takeScriptCoverage(*engine);
    if (result.isError())
        qFatal("the scene could not take the document: %s", qUtf8Printable(result.toString()));
    return 0;
}
