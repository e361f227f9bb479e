// The scene's JavaScript modules from the resources: the QR encoder against zbarimg, qrencode
// and the four penalty rules; the transition value evaluator (undefined, and no trace, for all
// it does not understand); transition parts, sequence steps and diffusion rules.

#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

struct Symbol {
    int version = 0;
    int size = 0;
    int mask = -1;
    QByteArray modules; // size * size, '1' for dark
    bool dark(int x, int y) const { return modules.at(y * size + x) == '1'; }
};

// Printable ASCII that varies with the seed, so that every mask gets its turn; no "]",
// which the decoder's XML report would need to escape.
static QString sampleText(int length, int seed)
{
    static const QString alphabet
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_.:/?=&%+!#$()*,;@[{}|~^'\"<>";
    QString s;
    quint32 state = 2166136261u ^ quint32(seed * 16777619u);
    for (int i = 0; i < length; ++i)
        s += alphabet.at(int(((state = state * 1103515245u + 12345u) >> 16) % quint32(alphabet.size())));
    return s;
}

// Runs of five or more (3 + the length beyond five), 1:1:3:1:1 patterns with four
// light modules on a side inside the symbol (40), 2x2 blocks (3), and 10 per full 5 %
// that the dark share is off one half.
static int penalty(const Symbol& s)
{
    int score = 0, dark = 0;
    for (int line = 0; line < 2 * s.size; ++line) {
        auto cell = [&](int i) { return line < s.size ? s.dark(i, line) : s.dark(line - s.size, i); };
        auto light = [&](int from) {
            bool all = from >= 0 && from + 4 <= s.size;
            for (int k = from; all && k < from + 4; ++k)
                all = !cell(k);
            return all;
        };
        for (int i = 1, run = 1; i <= s.size; ++i) {
            if (i < s.size && cell(i) == cell(i - 1)) {
                ++run;
            } else {
                score += run >= 5 ? run - 2 : 0;
                run = 1;
            }
        }
        for (int i = 0; i + 7 <= s.size; ++i) {
            if (cell(i) && !cell(i + 1) && cell(i + 2) && cell(i + 3) && cell(i + 4) && !cell(i + 5) && cell(i + 6)
                && (light(i - 4) || light(i + 7)))
                score += 40;
        }
    }
    for (int y = 0; y < s.size; ++y) {
        for (int x = 0; x < s.size; ++x) {
            dark += s.dark(x, y);
            if (x + 1 < s.size && y + 1 < s.size && s.dark(x, y) == s.dark(x + 1, y) && s.dark(x, y) == s.dark(x, y + 1)
                && s.dark(x, y) == s.dark(x + 1, y + 1))
                score += 3;
        }
    }
    return score + int(std::abs(dark * 100.0 / (s.size * s.size) - 50) / 5) * 10;
}

static int qrencodeVersion(const QByteArray& data, const QString& level)
{
    QProcess p;
    p.start("qrencode", { "-8", "-l", level, "-m", "0", "-t", "ASCII", "-o", "-" });
    p.write(data);
    p.closeWriteChannel();
    return p.waitForFinished(10000) && p.exitCode() == 0 ? (p.readAllStandardOutput().count('\n') - 17) / 4 : 0;
}

class tst_Scripts : public QObject {
    Q_OBJECT

    QQmlEngine m_engine;
    QObject* m_probe = nullptr;
    QHash<QString, QByteArray> m_decoded; // file -> the bytes zbarimg read

    QJSValue call(const char* function, const QJSValueList& args)
    {
        return m_engine.newQObject(m_probe).property(function).call(args);
    }
    Symbol encode(const QString& text, const QString& level, int mask = -1)
    {
        const QJSValue r = call("encode", { text, level, mask });
        Symbol s;
        if (r.isObject())
            s = { r.property("version").toInt(), r.property("size").toInt(), r.property("mask").toInt(),
                r.property("modules").toString().toLatin1() };
        return s;
    }
    int capacity(int version, const QString& level) { return call("capacity", { version, level }).toInt(); }
    QJSValue evaluate(const QJSValue& value, const QString& scope = QStringLiteral("scope"))
    {
        return call("evaluate", { value, m_engine.evaluate(scope) });
    }

private slots:
    void initTestCase()
    {
        QQmlComponent component(&m_engine);
        component.setData(
            "import QtQml 2.2\nimport \"qrc:/qrcode.js\" as Encoder\nimport \"qrc:/js/expression.js\" as Expression\n"
            "import \"qrc:/js/transitions.js\" as T\nimport \"qrc:/js/functions.js\" as F\n"
            "QtObject {\n"
            "  function evaluate(value, scope) { return Expression.evaluate(value, scope) }\n"
            "  function animation(part, scope) {\n"
            "    var lines = 0, p = T.parameters(part, scope, 'enter', function () { ++lines })\n"
            "    return p === T.noAnimation && lines === 1 ? 'none' : p.animate + ' ' + text(p) + ' ' + p.duration\n"
            "  }\n"
            // A: a0 with its own parts, a1; defaults enter rotation, exit opacity. B: b0, b1 (own exit y), no defaults.
            "  property var list: [{ sequence: { global_properties: { transitions: {\n"
            "      enter: { property: 'rotation', from: 90, to: 0 }, exit: { property: 'opacity', from: 1, to: 0 } } "
            "},\n"
            "    elements: [{ transitions: { enter: { property: 'opacity', from: 0, to: 1 },\n"
            "      exit: { property: 'x', from: 0, to: -100 } } }, {}] } },\n"
            "    { sequence: { elements: [{}, { transitions: { exit: { property: 'y', from: 0, to: 200 } } }] } }]\n"
            "  function text(part) { return part ? part.property + ' ' + part.from + '>' + part.to : 'none' }\n"
            "  function parts(change) {\n"
            "    var c = change.split(' '), e = list[c[1]], p = list[c[3]]\n"
            "    if (c[0] === 'next') return text(T.enterPart(e, +c[2], p)) + ' | ' + text(T.exitPart(p, +c[4]))\n"
            "    var to = F.previousPlace(list, e, +c[2])\n"
            "    return text(T.reversedEnterPart(to.sequence, to.index)) + ' | '\n"
            "      + text(T.reversedExitPart(T.enterPart(e, +c[2], p)))\n"
            "  }\n"
            "  function place(step) {\n"
            "    var s = step.split(' '), e = +s[2], i = +s[3]\n"
            "    var list = s[0].split(',').map(function (n) { return { sequence: { elements: new Array(+n) } } })\n"
            "    var p = s[1] === 'first' ? F.firstPlace(list) : s[1] === 'next' ? F.nextPlace(list, list[e], i)\n"
            "      : s[1] === 'after' ? F.placeAfter(list, list[e], i, s[4] ? F.place(list[+s[4]], +s[5]) : null)\n"
            "      : F.previousPlace(list, list[e], i)\n"
            "    var at = function (e) { return list.indexOf(e) }\n"
            "    return p ? [at(p.sequence), p.index, at(p.previousSequence), p.previousIndex].join() : 'none'\n"
            "  }\n"
            "  function encode(text, level, mask) {\n"
            "    var s = mask < 0 ? Encoder.encode(text, level) : Encoder.encode(text, level, mask)\n"
            "    if (s === null) return null\n"
            "    var flat = s.modules.map(function (row) { return row.map(Number).join('') })\n"
            "    return { version: s.version, size: s.size, mask: s.mask, modules: flat.join('') }\n"
            "  }\n"
            "  function capacity(version, level) { return Encoder.capacity(version, level) }\n"
            "  function delay(a) { a = a.split(' '); return F.skipDelay(+a[0], +a[1], JSON.parse(a[2])) }\n"
            "  function allows(days, now) { return F.diffusionAllows({ diffusion: JSON.parse(days) }, now) }\n"
            "}\n",
            QUrl("qrc:/qrprobe.qml"));
        m_probe = component.create();
        QVERIFY2(m_probe, qPrintable(component.errorString()));
        m_engine.evaluate(
            "var closed = 0; var scope = { width: 1900, height: 1000, stack: { width: 1280, height: 720 },"
            " mainWindow: { width: 1920, height: 1080, visible: 1, close: function () { ++closed; return 1; } } };");
    }

    void versionChoice_data()
    {
        QTest::addColumn<QString>("level");
        for (const char* level : { "L", "M", "Q", "H" })
            QTest::addRow("%s", level) << level;
    }
    // A value exactly at a version's capacity gets that version, one byte more the next one, as
    // with qrencode (which so checks every capacity); beyond version 40 there is no symbol.
    void versionChoice()
    {
        QFETCH(QString, level);
        for (int version = 1; version <= 40; ++version) {
            const QString atCapacity = sampleText(capacity(version, level), version);
            const QString over = atCapacity + QLatin1Char('x');
            QCOMPARE(encode(atCapacity, level.toLower(), 0).version, version); // a fixed mask spares the search
            QCOMPARE(qrencodeVersion(atCapacity.toLatin1(), level), version);
            QCOMPARE(encode(over, level, 0).version, version < 40 ? version + 1 : 0);
            QCOMPARE(qrencodeVersion(over.toLatin1(), level), version < 40 ? version + 1 : 0);
        }
        QCOMPARE(encode(QString(200000, QLatin1Char('a')), level).version, 0);
    }

    // Everything is drawn here (3 pixels a module, a quiet zone of 4) and read back by one
    // zbarimg run; the rows compare the text it read.
    void decoded_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QStringList files;
        auto add = [&](const QString& name, const QString& text, const QString& level, int mask) {
            const Symbol s = encode(text, level, mask);
            QImage image((s.size + 8) * 3, (s.size + 8) * 3, QImage::Format_Grayscale8);
            image.fill(255);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (x / 3 >= 4 && y / 3 >= 4 && x / 3 < s.size + 4 && y / 3 < s.size + 4
                        && s.dark(x / 3 - 4, y / 3 - 4))
                        image.setPixel(x, y, 0);
            files << QStringLiteral("%1/%2.png")
                         .arg(qEnvironmentVariable("PLAYER_TEST_TMP", QDir::tempPath()))
                         .arg(files.size());
            QVERIFY(image.save(files.last()));
            QTest::addRow("%s", qPrintable(name)) << files.last() << text;
        };
        for (const QString& level : QStringList { "L", "M", "Q", "H" }) {
            for (int version = 1; version <= 40; ++version)
                add(QStringLiteral("level %1, version %2 full").arg(level).arg(version),
                    sampleText(capacity(version, level), version), level, -1);
            add("UTF-8 at level " + level, QString::fromUtf8("Caf\xc3\xa9 \xf0\x9f\x98\x80"), level, -1);
        }
        for (int mask = 0; mask < 8; ++mask) {
            add(QStringLiteral("mask %1, version 1").arg(mask), QStringLiteral("MASK%1").arg(mask), "H", mask);
            add(QStringLiteral("mask %1, version 40").arg(mask), sampleText(capacity(40, "Q") - mask, mask), "Q", mask);
        }
        QProcess zbar;
        zbar.start("zbarimg", QStringList { "--nodbus", "--xml", "-Sdisable", "-Sqrcode.enable" } + files);
        QVERIFY(zbar.waitForFinished(300000));
        QXmlStreamReader xml(zbar.readAllStandardOutput());
        QString source;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("source"))
                source = xml.attributes().value("href").toString();
            else if (xml.isStartElement() && xml.name() == QLatin1String("data"))
                m_decoded.insert(source,
                    xml.attributes().value("format") == QLatin1String("base64")
                        ? QByteArray::fromBase64(xml.readElementText().trimmed().toLatin1())
                        : xml.readElementText().toUtf8());
        }
    }
    void decoded()
    {
        QFETCH(QString, file);
        QFETCH(QString, text);
        QByteArray bytes = m_decoded.value(file);
        if (text.toUtf8().size() != text.size()) {
            // In its XML report the reader guesses a character set for the bytes; raw, it does not.
            QProcess zbar;
            zbar.start("zbarimg", { "--nodbus", "--quiet", "--raw", "-Sbinary", file });
            QVERIFY(zbar.waitForFinished(20000));
            bytes = zbar.readAllStandardOutput();
        }
        QCOMPARE(QString::fromUtf8(bytes), text);
    }

    void maskChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("level");
        QTest::addRow("identifier, level H") << QString("5f0c2a9e-8d41-4b7a-9c3e-2f6d1a0b7e55") << QString("H");
        QTest::addRow("repetitive text") << QString(60, QLatin1Char('A')) << QString("Q");
        QTest::addRow("empty") << QString() << QString("L");
        // Every third version: from version 7 on, the symbol carries version information.
        for (const QString& level : QStringList { "L", "M", "Q", "H" })
            for (int version = 1; version <= 40; version += 3)
                QTest::addRow("level %s, version %d", qPrintable(level), version)
                    << sampleText(capacity(version, level), version) << level;
    }
    // The automatic choice is the mask of lowest penalty, the first of equal ones.
    void maskChoice()
    {
        QFETCH(QString, text);
        QFETCH(QString, level);
        int best = 0;
        QList<int> scores;
        for (int mask = 0; mask < 8; ++mask) {
            scores << penalty(encode(text, level, mask));
            best = scores.last() < scores.at(best) ? mask : best;
        }
        const Symbol chosen = encode(text, level);
        QCOMPARE(chosen.mask, best);
        QCOMPARE(chosen.modules, encode(text, level, best).modules);
    }

    // What the evaluator gives, against the test scope unless a row names another: undefined
    // for all it does not understand, which leaves no trace (nothing closed, no global width).
    void evaluated_data()
    {
        QTest::addColumn<QString>("expression"); // empty: the expected number itself is evaluated
        QTest::addColumn<QString>("scope");
        QTest::addColumn<double>("expected"); // NaN: undefined
        const auto accepted = [](const char* tag, const QString& expression, double value) {
            QTest::addRow("%s", tag) << expression << QString("scope") << value;
        };
        const auto rejected = [](const char* tag, const QString& expression, const char* scope = "scope") {
            QTest::addRow("%s", tag) << expression << QString(scope) << qQNaN();
        };
        accepted("numbers", ".5 + 3. + 2.5E-1 + 7e+2", 703.75);
        accepted("signs", "- -5 + +1 - -(1-+2)", 5.0);
        accepted("precedence and associativity", "2 + 3 * 4 - 10 - 4 - 100 / 10 / 5 + 1 + 7 % 4 * 2", 5.0);
        accepted("scene sizes", "width + height - mainWindow . width + mainWindow.height * stack.width / stack.height",
            1900 - 1920 + 1000 + 1080.0 * 1280 / 720);
        accepted("Math", " Math.max(1, Math.PI, 2) + Math.pow(2, 10)\t- Math.floor(-1.5) + Math.atan2(1, 1) * 4 ",
            M_PI + 1024 + 2 + M_PI);
        accepted("a number stands for itself", "", -1920.0);
        accepted("nested exactly to the limit", QString("(").repeated(32) + "1" + QString(")").repeated(32), 1.0);
        accepted("exactly as long as the limit", QString("1+").repeated(511) + "1", 512.0);
        rejected("an unknown name", "foo");
        rejected("a method of the window", "mainWindow.close()");
        rejected("another member of the window", "mainWindow.visible");
        rejected("a member two levels deep", "mainWindow.contentItem.width");
        rejected("an assignment", "width = 0");
        rejected("new", "new XMLHttpRequest()");
        rejected("the Function constructor", "Math.constructor.constructor('return 1')()");
        rejected("a function not called", "Math.max");
        rejected("a Math function outside the list", "Math.random()");
        rejected("a comparison", "width > 1");
        rejected("hexadecimal", "0x10");
        rejected("a leading zero", "010");
        rejected("a non-breaking space", QString::fromUtf8("1\u00a0+ 1"));
        rejected("an unclosed parenthesis", "(1 + 2");
        rejected("a trailing comma in a call", "Math.max(1,)");
        rejected("too many arguments", "Math.abs(1, 2)");
        rejected("division by zero", "1 / 0");
        rejected("nested too deeply", QString("(").repeated(33) + "1" + QString(")").repeated(33));
        rejected("too long", QString("1+").repeated(600) + "1");
        rejected("no scope", "width", "undefined");
        rejected("width as an object", "width", "({ width: { valueOf: function () { return 1 } } })");
        rejected("a getter that throws", "width", "({ get width() { throw new Error('no') } })");
    }
    void evaluated()
    {
        QFETCH(QString, expression);
        QFETCH(QString, scope);
        QFETCH(double, expected);
        const QJSValue result = expression.isEmpty() ? evaluate(QJSValue(expected)) : evaluate(expression, scope);
        QVERIFY2(qIsNaN(expected) ? result.isUndefined() : qFuzzyCompare(result.toNumber(), expected),
            qPrintable(result.toString()));
        QCOMPARE(
            m_engine.evaluate("closed + (typeof width) + scope.width").toString(), QStringLiteral("0undefined1900"));
        for (const char* value : { "null", "true", "NaN", "Infinity", "new Number(3)" })
            QVERIFY(evaluate(m_engine.evaluate(value)).isUndefined());
    }

    // What the probe's animation, parts or place function gives for a row's input.
    // animation: a part against the test scope's sizes; "none": not animated, one debug line.
    // parts: "next" from (previous entry, index) to (entry, index), or "back" from (entry, index),
    // which (previous entry, index) had come before; the enter part | the exit part.
    // place: from (entry, index), entries given by element counts: the place on screen, then the previous one.
    void probed_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* function, const char* tag, const char* in, const char* out) {
            QTest::addRow("%s: %s", function, tag) << QString(function) << QString(in) << QString(out);
        };
        row("animation", "valid part", "{ property: 'x', from: 0, to: -100, duration: 40 }", "true x 0>-100 40");
        row("animation", "expressions against the sizes, duration as text",
            "{ property: 'y', from: '-height', to: 'stack.width / 2 + mainWindow.width', duration: '5' }",
            "true y -1000>2560 5");
        row("animation", "no part", "undefined", "none");
        row("animation", "missing property", "{ from: 0, to: 1, duration: 40 }", "none");
        row("animation", "negative duration", "{ property: 'x', from: 0, to: 1, duration: -1 }", "none");
        row("animation", "NaN duration", "{ property: 'x', from: 0, to: 1, duration: 'soon' }", "none");
        row("animation", "absent duration", "{ property: 'x', from: 0, to: 1 }", "none");
        row("animation", "unreadable to", "{ property: 'x', from: 0, to: 'width *', duration: 40 }", "none");
        row("parts", "the elements' own parts", "next 0 0 0 0", "opacity 0>1 | x 0>-100");
        row("parts", "the sequence's defaults stand in", "next 0 1 0 1", "rotation 90>0 | opacity 1>0");
        row("parts", "across sequences, the left one's first enters", "next 1 0 0 1", "opacity 0>1 | opacity 1>0");
        row("parts", "no part anywhere", "next 1 1 1 0", "none | none");
        row("parts", "an element with its exit part only", "next 0 0 1 1", "none | y 0>200");
        row("parts", "back within a sequence, reversed", "back 0 1 0 0", "x -100>0 | rotation 0>90");
        row("parts", "back across sequences, reversed", "back 1 0 0 1", "opacity 0>1 | opacity 1>0");
        row("place", "start after empty entries, the last one before", "0,2,1 first", "1,0,2,0");
        row("place", "nothing to start", "0,0 first", "none");
        row("place", "next from a sequence's end, to the next one", "2,3 next 0 1", "1,0,0,1");
        row("place", "next skips empty entries and wraps", "2,0,1 next 2 0", "0,0,2,0");
        row("place", "next alone starts over", "2 next 0 1", "0,0,0,1");
        row("place", "back to a first element, the entry before is previous", "2,3 back 1 1", "1,0,0,1");
        row("place", "back from a first element, over empty entries", "2,0,3 back 2 0", "0,1,0,0");
        row("place", "back from the very first wraps to the last", "2,3 back 0 0", "1,2,1,1");
        row("place", "after a skip, past it, the one on screen leaving", "2,3 after 0 1 1 0", "1,1,0,1");
        row("place", "after a skip at the list's end, wraps", "2,0,3 after 0 1 2 2", "0,0,0,1");
        row("delay", "a round not over yet: at once", "2 3 1500", "0");
        row("delay", "a whole round failed: the element's duration", "3 3 1500", "1500");
        row("delay", "no duration (a video) waits a second", "4 3 null", "1000");
    }
    void probed()
    {
        QFETCH(QString, function);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QJSValue argument = function == "animation" ? m_engine.evaluate("(" + input + ")") : QJSValue(input);
        QCOMPARE(call(qPrintable(function), { argument, m_engine.evaluate("scope") }).toString(), expected);
    }

    // Whether an entry with this diffusion plays at an instant of December 2026 (the 7th is a Monday).
    void diffusion_data()
    {
        QTest::addColumn<QDateTime>("now"); // local time
        QTest::addColumn<QString>("diffusion");
        QTest::addColumn<bool>("plays");
        const auto at = [](int day, int h, int m, int s) { return QDateTime(QDate(2026, 12, day), QTime(h, m, s)); };
        const auto all = [](const char* dates, const char* hours) {
            return QStringLiteral(R"({"weekdays":["All"],"dates":%1,"hours":%2})").arg(dates, hours);
        };
        const QDateTime monday = at(7, 12, 0, 0);
        QTest::addRow("named day") << monday << R"({"weekdays":["Sunday","Monday"]})" << true;
        QTest::addRow("day names are case-sensitive") << monday << R"({"weekdays":["monday","all"]})" << false;
        QTest::addRow("weekdays as a string") << monday << R"({"weekdays":"Monday"})" << false;
        QTest::addRow("start date inclusive") << at(7, 0, 0, 0) << all(R"({"start_date":"2026-12-07"})", "{}") << true;
        QTest::addRow("before start date") << at(6, 23, 59, 59) << all(R"({"start_date":"2026-12-07"})", "{}") << false;
        QTest::addRow("end date inclusive") << at(7, 23, 59, 59) << all(R"({"end_date":"2026-12-07"})", "{}") << true;
        QTest::addRow("after end date") << at(8, 0, 0, 0) << all(R"({"end_date":"2026-12-07"})", "{}") << false;
        QTest::addRow("empty end date excludes every day") << monday << all(R"({"end_date":""})", "{}") << false;
        QTest::addRow("null bounds impose no limit")
            << monday << all(R"({"start_date":null})", R"({"end_time":null})") << true;
        QTest::addRow("end time exclusive, one second before")
            << at(7, 17, 59, 59) << all("{}", R"({"end_time":"18:00:00"})") << true;
        QTest::addRow("end time exclusive, at the end")
            << at(7, 18, 0, 0) << all("{}", R"({"end_time":"18:00:00"})") << false;
        QTest::addRow("start time inclusive") << at(7, 8, 0, 0) << all("{}", R"({"start_time":"08:00:00"})") << true;
        QTest::addRow("before start time") << at(7, 7, 59, 59) << all("{}", R"({"start_time":"08:00:00"})") << false;
        QTest::addRow("window over midnight never matches")
            << at(7, 23, 0, 0) << all("{}", R"({"start_time":"22:00:00","end_time":"02:00:00"})") << false;
        QTest::addRow("no diffusion never plays") << monday << "null" << false;
    }
    void diffusion()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, diffusion);
        QFETCH(bool, plays);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); // day names do not follow the locale
        const QJSValue allows = call("allows", { diffusion, m_engine.toScriptValue(now) });
        QVERIFY2(allows.isBool(), qPrintable(allows.toString()));
        QCOMPARE(allows.toBool(), plays);
    }
};

QTEST_GUILESS_MAIN(tst_Scripts)
#include "tst_scripts.moc"
