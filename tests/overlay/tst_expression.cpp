// The transition value evaluator of the scene (qrc:/js/expression.js), loaded
// through a QML engine exactly as the scene imports it. Accepted expressions
// are checked against the value the test computes and against what the
// JavaScript engine itself makes of the same text; rejected ones must give
// undefined and leave no trace (no window closed, no quit requested, no
// scope member changed).

#include <QJSValue>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// Stands in for the scene's window and stack view: a QObject with a size and
// a method that must never be reachable from a schedule document.
class SizedObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(qreal width MEMBER m_width)
    Q_PROPERTY(qreal height MEMBER m_height)
    Q_PROPERTY(bool visible MEMBER m_visible)

public:
    SizedObject(qreal width, qreal height, QObject* parent)
        : QObject(parent)
        , m_width(width)
        , m_height(height)
    {
    }
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

QString repeated(const QString& piece, int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += piece;
    return s;
}

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
    void rejectedValues_data();
    void rejectedValues();
    void boundaries();
    void scopeProblems_data();
    void scopeProblems();
    void followsTheCurrentSize();

private:
    QJSValue evaluate(const QJSValue& value);
    QJSValue evaluate(const QJSValue& value, const QJSValue& scope);
    QJSValue oracle(const QString& expression);

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

QJSValue tst_Expression::evaluate(const QJSValue& value)
{
    return evaluate(value, m_scope);
}

QJSValue tst_Expression::evaluate(const QJSValue& value, const QJSValue& scope)
{
    return m_engine.newQObject(m_probe).property(QStringLiteral("evaluate")).call({ value, scope });
}

// What the JavaScript engine itself computes for the text, with the same names
// in scope. Only used for expressions the evaluator is meant to accept.
QJSValue tst_Expression::oracle(const QString& expression)
{
    QJSValue fn = m_engine.evaluate(
        QStringLiteral("(function (width, height, mainWindow, stack) { return (%1); })").arg(expression));
    return fn.call({ m_scope.property(QStringLiteral("width")), m_scope.property(QStringLiteral("height")),
        m_scope.property(QStringLiteral("mainWindow")), m_scope.property(QStringLiteral("stack")) });
}

void tst_Expression::accepted_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<double>("expected");

    QTest::addRow("an integer") << "42" << 42.0;
    QTest::addRow("zero") << "0" << 0.0;
    QTest::addRow("a decimal") << "0.25" << 0.25;
    QTest::addRow("a decimal without integer part") << ".5" << 0.5;
    QTest::addRow("a decimal ending in a dot") << "3." << 3.0;
    QTest::addRow("an exponent") << "1e3" << 1000.0;
    QTest::addRow("a negative exponent, capital E") << "2.5E-1" << 0.25;
    QTest::addRow("an exponent with a plus sign") << "7e+2" << 700.0;
    QTest::addRow("unary minus") << "-100" << -100.0;
    QTest::addRow("unary plus") << "+7" << 7.0;
    QTest::addRow("two signs apart") << "- -5" << 5.0;
    QTest::addRow("minus then plus") << "1-+2" << -1.0;
    QTest::addRow("multiplication before addition") << "2 + 3 * 4" << 14.0;
    QTest::addRow("parentheses first") << "(2 + 3) * 4" << 20.0;
    QTest::addRow("subtraction is left-associative") << "10 - 4 - 3" << 3.0;
    QTest::addRow("division is left-associative") << "100 / 10 / 5" << 2.0;
    QTest::addRow("remainder") << "7 % 4" << 3.0;
    QTest::addRow("remainder of a negative") << "-7 % 4" << -3.0;
    QTest::addRow("remainder binds like division") << "1 + 7 % 4 * 2" << 7.0;
    QTest::addRow("negative times negative") << "-2 * -3" << 6.0;
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
    QTest::addRow("min of two") << "Math.min(width, 100)" << 100.0;
    QTest::addRow("max of three") << "Math.max(1, 3, 2)" << 3.0;
    QTest::addRow("max of one") << "Math.max(-4)" << -4.0;
    QTest::addRow("round half up") << "Math.round(2.5)" << 3.0;
    QTest::addRow("round negative half") << "Math.round(-2.5)" << -2.0;
    QTest::addRow("floor of a negative") << "Math.floor(-1.5)" << -2.0;
    QTest::addRow("ceil") << "Math.ceil(1.2)" << 2.0;
    QTest::addRow("abs") << "Math.abs(-3)" << 3.0;
    QTest::addRow("sqrt") << "Math.sqrt(16)" << 4.0;
    QTest::addRow("pow") << "Math.pow(2, 10)" << 1024.0;
    QTest::addRow("sin of a right angle") << "Math.sin(Math.PI / 2)" << 1.0;
    QTest::addRow("cos of zero") << "Math.cos(0)" << 1.0;
    QTest::addRow("atan2") << "Math.atan2(1, 1) * 4" << M_PI;
    QTest::addRow("calls nested in calls")
        << "Math.max(Math.min(width, 800), height / 2) - 10" << std::max(std::min(scopeWidth, 800.0), scopeHeight / 2) - 10;
    QTest::addRow("slide in from the right") << "mainWindow.width" << windowWidth;
    QTest::addRow("slide out to the left") << "-mainWindow.width" << -windowWidth;
    QTest::addRow("centred offset") << "(mainWindow.width - stack.width) / 2" << (windowWidth - stackWidth) / 2;
}

void tst_Expression::accepted()
{
    QFETCH(QString, expression);
    QFETCH(double, expected);

    const QJSValue result = evaluate(expression);
    QVERIFY2(result.isNumber(), qPrintable(result.toString()));
    QCOMPARE(result.toNumber(), expected);

    const QJSValue reference = oracle(expression);
    QVERIFY2(!reference.isError(), qPrintable(reference.toString()));
    QCOMPARE(result.toNumber(), reference.toNumber());
}

void tst_Expression::rejected_data()
{
    QTest::addColumn<QString>("expression");

    QTest::addRow("an unknown name") << "foo";
    QTest::addRow("a method of the window") << "mainWindow.close()";
    QTest::addRow("a method of the window with a sum") << "1 + mainWindow.close()";
    QTest::addRow("another property of the window") << "mainWindow.visible";
    QTest::addRow("a member two levels deep") << "mainWindow.contentItem.width";
    QTest::addRow("the window itself") << "mainWindow";
    QTest::addRow("quitting the application") << "Qt.quit()";
    QTest::addRow("exiting the application") << "Qt.exit(1)";
    QTest::addRow("an assignment") << "x = 1";
    QTest::addRow("an assignment to width") << "width = 0";
    QTest::addRow("a compound assignment") << "width -= 1";
    QTest::addRow("an increment") << "width++";
    QTest::addRow("a pre-decrement") << "--width";
    QTest::addRow("a double minus between numbers") << "1--2";
    QTest::addRow("a function expression") << "function(){}";
    QTest::addRow("an immediately called function") << "(function(){return 1})()";
    QTest::addRow("an arrow function") << "(() => 1)()";
    QTest::addRow("a global constructor") << "XMLHttpRequest";
    QTest::addRow("a new object") << "new XMLHttpRequest()";
    QTest::addRow("the Math constructor") << "Math.constructor";
    QTest::addRow("code through the Function constructor") << "Math.constructor.constructor('return 1')()";
    QTest::addRow("the prototype of Math") << "Math.__proto__";
    QTest::addRow("the constructor of a number") << "width.constructor";
    QTest::addRow("eval") << "eval('1')";
    QTest::addRow("Math alone") << "Math";
    QTest::addRow("a Math function not called") << "Math.max";
    QTest::addRow("a Math function outside the list") << "Math.random()";
    QTest::addRow("a call of a constant") << "Math.PI()";
    QTest::addRow("a call of a number") << "1(2)";
    QTest::addRow("a call of width") << "width()";
    QTest::addRow("a double-quoted string") << "\"a\"";
    QTest::addRow("a single-quoted string") << "'a'";
    QTest::addRow("a template literal") << "`1`";
    QTest::addRow("a regular expression") << "/a/";
    QTest::addRow("this") << "this";
    QTest::addRow("a member of this") << "this.width";
    QTest::addRow("indexing Math") << "Math['max'](1, 2)";
    QTest::addRow("indexing a name") << "width[0]";
    QTest::addRow("an array") << "[1]";
    QTest::addRow("an object literal") << "({})";
    QTest::addRow("two statements") << "1;2";
    QTest::addRow("a comma expression") << "1, 2";
    QTest::addRow("a comparison") << "width > 1";
    QTest::addRow("a conditional") << "1 ? 2 : 3";
    QTest::addRow("a logical or") << "0 || 2";
    QTest::addRow("a bitwise or") << "1 | 2";
    QTest::addRow("the exponent operator") << "2 ** 3";
    QTest::addRow("a hexadecimal literal") << "0x10";
    QTest::addRow("a number with a leading zero") << "010";
    QTest::addRow("a number followed by a name") << "1width";
    QTest::addRow("two dots in a number") << "1.2.3";
    QTest::addRow("an exponent without digits") << "1e";
    QTest::addRow("a unicode minus sign") << QString::fromUtf8("width \u2212 1");
    QTest::addRow("a non-breaking space") << QString::fromUtf8("1\u00a0+ 1");
    QTest::addRow("an unclosed parenthesis") << "(1 + 2";
    QTest::addRow("an extra closing parenthesis") << "1 + 2)";
    QTest::addRow("empty parentheses") << "()";
    QTest::addRow("an unclosed call") << "Math.max(1";
    QTest::addRow("a trailing operator") << "1 +";
    QTest::addRow("a leading operator") << "* 2";
    QTest::addRow("a trailing member dot") << "mainWindow.";
    QTest::addRow("a trailing comma in a call") << "Math.max(1,)";
    QTest::addRow("too few arguments") << "Math.pow(2)";
    QTest::addRow("no argument") << "Math.sqrt()";
    QTest::addRow("min of nothing") << "Math.min()";
    QTest::addRow("too many arguments") << "Math.abs(1, 2)";
    QTest::addRow("division by zero") << "1 / 0";
    QTest::addRow("zero by zero") << "0 / 0";
    QTest::addRow("an overflowing literal") << "1e999";
    QTest::addRow("an overflowing product") << "1e300 * 1e300";
    QTest::addRow("square root of a negative") << "Math.sqrt(-1)";
    QTest::addRow("empty") << "";
    QTest::addRow("only spaces") << "   ";
}

void tst_Expression::rejected()
{
    QFETCH(QString, expression);

    QSignalSpy quitSpy(&m_engine, &QQmlEngine::quit);
    QSignalSpy exitSpy(&m_engine, &QQmlEngine::exit);
    const QJSValue result = evaluate(expression);
    QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
    QCOMPARE(m_window->closeCalls, 0);
    QCOMPARE(quitSpy.count(), 0);
    QCOMPARE(exitSpy.count(), 0);
    QCOMPARE(m_scope.property(QStringLiteral("width")).toNumber(), scopeWidth);
    QVERIFY(m_engine.globalObject().property(QStringLiteral("x")).isUndefined());
}

void tst_Expression::rejectedValues_data()
{
    QTest::addColumn<QString>("value");

    QTest::addRow("undefined") << "undefined";
    QTest::addRow("null") << "null";
    QTest::addRow("true") << "true";
    QTest::addRow("an object") << "({ valueOf: function () { return 1 } })";
    QTest::addRow("an array") << "[1]";
    QTest::addRow("a function") << "(function () { return 1 })";
    QTest::addRow("a number object") << "new Number(3)";
    QTest::addRow("not a number") << "NaN";
    QTest::addRow("infinity") << "Infinity";
    QTest::addRow("minus infinity") << "-Infinity";
}

// Values that are neither numbers nor strings, and numbers that are not finite.
void tst_Expression::rejectedValues()
{
    QFETCH(QString, value);
    const QJSValue input = m_engine.evaluate(value);
    QVERIFY(!input.isError());
    const QJSValue result = evaluate(input);
    QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
}

void tst_Expression::boundaries()
{
    // A number stands for itself, without parsing.
    QCOMPARE(evaluate(QJSValue(0.5)).toNumber(), 0.5);
    QCOMPARE(evaluate(QJSValue(-1920)).toNumber(), -1920.0);

    // Nesting: exactly the limit is fine, one more is refused.
    const QString atLimit = repeated(QStringLiteral("("), m_maxDepth) + "1" + repeated(QStringLiteral(")"), m_maxDepth);
    QCOMPARE(evaluate(atLimit).toNumber(), 1.0);
    const QString overLimit
        = repeated(QStringLiteral("("), m_maxDepth + 1) + "1" + repeated(QStringLiteral(")"), m_maxDepth + 1);
    QVERIFY(evaluate(overLimit).isUndefined());
    QVERIFY(evaluate(repeated(QStringLiteral("- "), m_maxDepth + 1) + "1").isUndefined());
    QVERIFY(evaluate(repeated(QStringLiteral("Math.abs("), m_maxDepth + 1) + "1"
                         + repeated(QStringLiteral(")"), m_maxDepth + 1))
                .isUndefined());
    // Far beyond the limit: no stack exhaustion, just a refusal.
    QVERIFY(evaluate(repeated(QStringLiteral("("), 100000) + "1" + repeated(QStringLiteral(")"), 100000)).isUndefined());
    QVERIFY(evaluate(repeated(QStringLiteral("-("), 100000) + "1" + repeated(QStringLiteral(")"), 100000)).isUndefined());

    // Length: a long flat sum up to the limit is fine, past it is refused.
    QString sum = QStringLiteral("1");
    while (sum.size() + 2 <= m_maxLength)
        sum += QStringLiteral("+1");
    QCOMPARE(evaluate(sum).toNumber(), double((sum.size() + 1) / 2));
    QVERIFY(evaluate(sum + QStringLiteral("+1")).isUndefined());
    QVERIFY(evaluate(repeated(QStringLiteral("1+"), 1000000) + "1").isUndefined());
    QVERIFY(evaluate(QStringLiteral(" ").repeated(m_maxLength) + QStringLiteral("1")).isUndefined());
}

void tst_Expression::scopeProblems_data()
{
    QTest::addColumn<QString>("scopeSource");
    QTest::addColumn<QString>("expression");

    QTest::addRow("no scope at all") << "undefined" << "width";
    QTest::addRow("a null scope") << "null" << "height";
    QTest::addRow("a number as scope") << "5" << "width";
    QTest::addRow("width missing") << "({ height: 3 })" << "width";
    QTest::addRow("width as text") << "({ width: '100' })" << "width";
    QTest::addRow("width as an object") << "({ width: { valueOf: function () { return 1 } } })" << "width";
    QTest::addRow("stack missing") << "({ width: 3 })" << "stack.width";
    QTest::addRow("stack null") << "({ stack: null })" << "stack.height";
    QTest::addRow("window width missing") << "({ mainWindow: {} })" << "mainWindow.width";
    QTest::addRow("a getter that throws") << "({ get width() { throw new Error('no') } })" << "width";
}

// The names are only read from the scope, and only numbers are used.
void tst_Expression::scopeProblems()
{
    QFETCH(QString, scopeSource);
    QFETCH(QString, expression);
    const QJSValue scope = m_engine.evaluate(scopeSource);
    QVERIFY(!scope.isError());
    const QJSValue result = evaluate(expression, scope);
    QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
    // Numbers alone need no scope.
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
