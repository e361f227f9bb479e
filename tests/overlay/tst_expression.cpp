// The transition value evaluator (qrc:/js/expression.js), loaded through a QML
// engine as the scene imports it. Accepted expressions are checked against the
// expected value and against what the JavaScript engine makes of the same
// text; rejected ones must give undefined and leave no trace.

#include <QJSValue>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtMath>
#include <QtTest>

namespace {

// Stands in for the scene's window and stack view: a size, and a method that
// must never be reachable from a schedule document.
class SizedObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(qreal width MEMBER m_width)
    Q_PROPERTY(qreal height MEMBER m_height)
    Q_PROPERTY(bool visible MEMBER m_visible)

public:
    SizedObject(qreal width, qreal height, QObject* parent)
        : QObject(parent), m_width(width), m_height(height) {}
    Q_INVOKABLE void close() { ++closeCalls; }
    int closeCalls = 0;

private:
    qreal m_width;
    qreal m_height;
    bool m_visible = true;
};

const qreal scopeWidth = 1900;
const qreal scopeHeight = 1000;
const qreal windowWidth = 1920;
const qreal windowHeight = 1080;
const qreal stackWidth = 1280;
const qreal stackHeight = 720;

QString repeated(const char* piece, int count) { return QString::fromLatin1(piece).repeated(count); }

} // namespace

class tst_Expression : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void boundaries();
    void scopeProblems_data();
    void scopeProblems();
    void followsTheCurrentSize();

private:
    QJSValue evaluate(const QJSValue& value) { return evaluate(value, m_scope); }
    QJSValue evaluate(const QJSValue& value, const QJSValue& scope)
    {
        return m_engine.newQObject(m_probe).property(QStringLiteral("evaluate")).call({ value, scope });
    }

    QQmlEngine m_engine;
    QObject* m_probe = nullptr;
    SizedObject* m_window = nullptr;
    SizedObject* m_stack = nullptr;
    QJSValue m_scope;
    int m_maxDepth = 0;
    int m_maxLength = 0;
};

void tst_Expression::initTestCase()
{
    QQmlComponent component(&m_engine);
    component.setData("import QtQml 2.2\n"
                      "import \"qrc:/js/expression.js\" as Expression\n"
                      "QtObject {\n"
                      "    function evaluate(value, scope) { return Expression.evaluate(value, scope) }\n"
                      "    property int maxDepth: Expression.maxDepth\n"
                      "    property int maxLength: Expression.maxLength\n"
                      "}\n",
        QUrl(QStringLiteral("qrc:/probe.qml")));
    m_probe = component.create();
    QVERIFY2(m_probe, qPrintable(component.errorString()));
    m_probe->setParent(this);
    m_maxDepth = m_probe->property("maxDepth").toInt();
    m_maxLength = m_probe->property("maxLength").toInt();
    QVERIFY(m_maxDepth >= 8);
    QVERIFY(m_maxLength >= 200);

    m_window = new SizedObject(windowWidth, windowHeight, this);
    m_stack = new SizedObject(stackWidth, stackHeight, this);
}

void tst_Expression::init()
{
    m_scope = m_engine.newObject();
    m_scope.setProperty(QStringLiteral("width"), scopeWidth);
    m_scope.setProperty(QStringLiteral("height"), scopeHeight);
    m_scope.setProperty(QStringLiteral("mainWindow"), m_engine.newQObject(m_window));
    m_scope.setProperty(QStringLiteral("stack"), m_engine.newQObject(m_stack));
    m_window->closeCalls = 0;
}

void tst_Expression::accepted_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<double>("expected");

    QTest::addRow("an integer") << "42" << 42.0;
    QTest::addRow("a decimal without integer part") << ".5" << 0.5;
    QTest::addRow("a decimal ending in a dot") << "3." << 3.0;
    QTest::addRow("a negative exponent, capital E") << "2.5E-1" << 0.25;
    QTest::addRow("an exponent with a plus sign") << "7e+2" << 700.0;
    QTest::addRow("unary plus") << "+7" << 7.0;
    QTest::addRow("two signs apart") << "- -5" << 5.0;
    QTest::addRow("minus then plus") << "1-+2" << -1.0;
    QTest::addRow("multiplication before addition") << "2 + 3 * 4" << 14.0;
    QTest::addRow("parentheses first") << "(2 + 3) * 4" << 20.0;
    QTest::addRow("subtraction is left-associative") << "10 - 4 - 3" << 3.0;
    QTest::addRow("division is left-associative") << "100 / 10 / 5" << 2.0;
    QTest::addRow("remainder binds like division") << "1 + 7 % 4 * 2" << 7.0;
    QTest::addRow("width") << "width" << scopeWidth;
    QTest::addRow("minus height") << "-height" << -scopeHeight;
    QTest::addRow("window width") << "mainWindow.width" << windowWidth;
    QTest::addRow("window height negated") << "-mainWindow.height" << -windowHeight;
    QTest::addRow("half the stack width") << "stack.width / 2" << stackWidth / 2;
    QTest::addRow("stack height") << "stack.height" << stackHeight;
    QTest::addRow("spaces around the member dot") << "mainWindow . width" << windowWidth;
    QTest::addRow("whitespace of all kinds") << " \t width\n/ 2\r " << scopeWidth / 2;
    QTest::addRow("pi") << "Math.PI" << M_PI;
    QTest::addRow("e doubled") << "Math.E * 2" << 2 * M_E;
    QTest::addRow("square root of one half") << "Math.SQRT1_2" << M_SQRT1_2;
    QTest::addRow("max of three") << "Math.max(1, 3, 2)" << 3.0;
    QTest::addRow("max of one") << "Math.max(-4)" << -4.0;
    QTest::addRow("floor of a negative") << "Math.floor(-1.5)" << -2.0;
    QTest::addRow("pow") << "Math.pow(2, 10)" << 1024.0;
    QTest::addRow("atan2") << "Math.atan2(1, 1) * 4" << M_PI;
    QTest::addRow("calls nested in calls")
        << "Math.max(Math.min(width, 800), height / 2) - 10" << std::max(std::min(scopeWidth, 800.0), scopeHeight / 2) - 10;
}

void tst_Expression::accepted()
{
    QFETCH(QString, expression);
    QFETCH(double, expected);

    const QJSValue result = evaluate(expression);
    QVERIFY2(result.isNumber(), qPrintable(result.toString()));
    QCOMPARE(result.toNumber(), expected);

    // What the JavaScript engine itself computes, with the same names in scope.
    const QJSValue reference = m_engine.evaluate(
        QStringLiteral("(function (width, height, mainWindow, stack) { return (%1); })").arg(expression))
        .call({ m_scope.property(QStringLiteral("width")), m_scope.property(QStringLiteral("height")),
            m_scope.property(QStringLiteral("mainWindow")), m_scope.property(QStringLiteral("stack")) });
    QVERIFY2(!reference.isError(), qPrintable(reference.toString()));
    QCOMPARE(result.toNumber(), reference.toNumber());
}

void tst_Expression::rejected_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("asValue"); // the text is a script giving the value to pass

    auto text = [](const char* tag, const QString& expression) { QTest::addRow("%s", tag) << expression << false; };
    auto value = [](const char* tag, const char* script) { QTest::addRow("%s", tag) << QString(script) << true; };
    text("an unknown name", "foo");
    text("a method of the window", "mainWindow.close()");
    text("another property of the window", "mainWindow.visible");
    text("a member two levels deep", "mainWindow.contentItem.width");
    text("quitting the application", "Qt.quit()");
    text("exiting the application", "Qt.exit(1)");
    text("an assignment", "x = 1");
    text("an assignment to width", "width = 0");
    text("a pre-decrement", "--width");
    text("an immediately called function", "(function(){return 1})()");
    text("a new object", "new XMLHttpRequest()");
    text("code through the Function constructor", "Math.constructor.constructor('return 1')()");
    text("the prototype of Math", "Math.__proto__");
    text("eval", "eval('1')");
    text("a member of this", "this.width");
    text("a Math function not called", "Math.max");
    text("a Math function outside the list", "Math.random()");
    text("a call of a constant", "Math.PI()");
    text("a double-quoted string", "\"a\"");
    text("indexing Math", "Math['max'](1, 2)");
    text("a comma expression", "1, 2");
    text("a comparison", "width > 1");
    text("the exponent operator", "2 ** 3");
    text("a hexadecimal literal", "0x10");
    text("a number with a leading zero", "010");
    text("two dots in a number", "1.2.3");
    text("an exponent without digits", "1e");
    text("a non-breaking space", QString::fromUtf8("1\u00a0+ 1"));
    text("an unclosed parenthesis", "(1 + 2");
    text("an extra closing parenthesis", "1 + 2)");
    text("an unclosed call", "Math.max(1");
    text("a trailing operator", "1 +");
    text("a trailing member dot", "mainWindow.");
    text("a trailing comma in a call", "Math.max(1,)");
    text("too few arguments", "Math.pow(2)");
    text("too many arguments", "Math.abs(1, 2)");
    text("division by zero", "1 / 0");
    text("zero by zero", "0 / 0");
    text("empty", "");
    // Values that are neither numbers nor strings, and numbers that are not finite.
    value("null", "null");
    value("true", "true");
    value("an object", "({ valueOf: function () { return 1 } })");
    value("a number object", "new Number(3)");
    value("not a number", "NaN");
    value("infinity", "Infinity");
}

void tst_Expression::rejected()
{
    QFETCH(QString, expression);
    QFETCH(bool, asValue);

    const QJSValue input = asValue ? m_engine.evaluate(expression) : QJSValue(expression);
    QVERIFY(!input.isError());
    QSignalSpy quitSpy(&m_engine, &QQmlEngine::quit);
    QSignalSpy exitSpy(&m_engine, &QQmlEngine::exit);
    const QJSValue result = evaluate(input);
    QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
    QCOMPARE(m_window->closeCalls, 0);
    QCOMPARE(quitSpy.count(), 0);
    QCOMPARE(exitSpy.count(), 0);
    QCOMPARE(m_scope.property(QStringLiteral("width")).toNumber(), scopeWidth);
    QVERIFY(m_engine.globalObject().property(QStringLiteral("x")).isUndefined());
}

void tst_Expression::boundaries()
{
    // A number stands for itself, without parsing.
    QCOMPARE(evaluate(QJSValue(-1920)).toNumber(), -1920.0);

    // Nesting: exactly the limit is fine, one more is refused.
    const int n = m_maxDepth;
    QCOMPARE(evaluate(repeated("(", n) + "1" + repeated(")", n)).toNumber(), 1.0);
    QVERIFY(evaluate(repeated("(", n + 1) + "1" + repeated(")", n + 1)).isUndefined());
    QVERIFY(evaluate(repeated("- ", n + 1) + "1").isUndefined());
    QVERIFY(evaluate(repeated("Math.abs(", n + 1) + "1" + repeated(")", n + 1)).isUndefined());
    // Far beyond the limit: no stack exhaustion, just a refusal.
    QVERIFY(evaluate(repeated("-(", 100000) + "1" + repeated(")", 100000)).isUndefined());

    // Length: a long flat sum up to the limit is fine, past it is refused;
    // whitespace counts.
    QString sum = QStringLiteral("1");
    while (sum.size() + 2 <= m_maxLength)
        sum += QStringLiteral("+1");
    QCOMPARE(evaluate(sum).toNumber(), double((sum.size() + 1) / 2));
    QVERIFY(evaluate(sum + QStringLiteral("+1")).isUndefined());
    QVERIFY(evaluate(repeated(" ", m_maxLength) + QStringLiteral("1")).isUndefined());
}

void tst_Expression::scopeProblems_data()
{
    QTest::addColumn<QString>("scopeSource");
    QTest::addColumn<QString>("expression");

    QTest::addRow("no scope at all") << "undefined" << "width";
    QTest::addRow("a null scope") << "null" << "height";
    QTest::addRow("width as text") << "({ width: '100' })" << "width";
    QTest::addRow("width as an object") << "({ width: { valueOf: function () { return 1 } } })" << "width";
    QTest::addRow("stack null") << "({ stack: null })" << "stack.height";
    QTest::addRow("window width missing") << "({ mainWindow: {} })" << "mainWindow.width";
    QTest::addRow("a getter that throws") << "({ get width() { throw new Error('no') } })" << "width";
}

// The names are only read from the scope, and only numbers are used; numbers
// alone need no scope.
void tst_Expression::scopeProblems()
{
    QFETCH(QString, scopeSource);
    QFETCH(QString, expression);
    const QJSValue scope = m_engine.evaluate(scopeSource);
    QVERIFY(!scope.isError());
    const QJSValue result = evaluate(expression, scope);
    QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
    QCOMPARE(evaluate(QStringLiteral("2 * 3"), scope).toNumber(), 6.0);
}

// The same text evaluated against two window sizes: nothing is cached.
void tst_Expression::followsTheCurrentSize()
{
    const QString slide = QStringLiteral("-mainWindow.width");
    QCOMPARE(evaluate(slide).toNumber(), -windowWidth);
    m_window->setProperty("width", 1280.0);
    QCOMPARE(evaluate(slide).toNumber(), -1280.0);
    m_window->setProperty("width", windowWidth);
}

QTEST_GUILESS_MAIN(tst_Expression)
#include "tst_expression.moc"
