// Schedule documents: the reader's verdict on any body and, for a document it takes,
// what the scene does with it in short: the well-formed entries and elements, the
// sources a network document may load, what plays today, each element's duration
// and transitions. None of it may throw, whatever the document holds.
#include "ScheduleSource.h"
#include "fuzz.h"

#include <QCoreApplication>

static const char* const takeDocument = R"((function (document) {
    var F = Functions, scope = { width: 1920, height: 1080, stack: { width: 1920, height: 1080 } };
    var schedule = F.isObject(document.schedule) ? document.schedule : {};
    var sequences = F.isObject(document.schedule) ? (Array.isArray(schedule.sequences) ? schedule.sequences : [])
        : [{ diffusion: { weekdays: ["All"] }, sequence: { global_properties: document, elements: document.objects } }];
    "" + schedule.schedule_uid;
    sequences = sequences.filter(function (s) { return F.isObject(s) && F.isObject(s.diffusion) && F.isObject(s.sequence); });
    sequences.forEach(function (s) { s.sequence.elements = (Array.isArray(s.sequence.elements) ? s.sequence.elements : [])
        .filter(function (e) { return F.isObject(e) && F.isObject(e.attributes); }); });
    Trust.dropLocalSources(sequences, "http://server/ws/stream.php", function (line) {});
    var now = new Date(2026, 11, 7, 12, 30, 0);
    var playing = sequences.filter(function (entry) { return F.diffusionAllows(entry, now); });
    playing.forEach(function (entry, i) {
        F.nextEntryWithElements(playing, i + 1) + F.previousEntryWithElements(playing, i - 1);
        F.elementsOf(entry).forEach(function (element) {
            F.timerInterval(F.effectiveDuration(element, entry));
            ["enter", "exit"].forEach(function (name) {
                var part = F.transitionPart(element, entry, name);
                F.reverseTransitionPart(F.copyTransitionPart(part));
                if (F.isObject(part) && isFinite(Number(part.duration)))
                    Expression.evaluate(part.from, scope) + Expression.evaluate(part.to, scope);
            });
        });
    });
    return F.countElements(playing);
}))";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QJSEngine* engine = (application<QCoreApplication>(), new QJSEngine);
    static QJSValue take = [] {
        for (const char* name : { "Functions", "Expression", "Trust" })
            engine->globalObject().setProperty(QLatin1String(name), loadModule(*engine, QByteArray(name).toLower()));
        return engine->evaluate(QString::fromUtf8(takeDocument));
    }();
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QString error;
    const QJsonObject document = ScheduleSource::readDocument(body, &error);
    if (document.isEmpty() != !error.isEmpty())
        qFatal("the reader neither took the body nor said why");
    if (document.isEmpty())
        return 0;
    // Handed over the way ScheduleSource hands it to the scene.
    const QJSValue result = take.call({ engine->toScriptValue(document) });
    takeScriptCoverage(*engine);
    if (result.isError())
        qFatal("the scene could not take the document: %s", qUtf8Printable(result.toString()));
    return 0;
}
