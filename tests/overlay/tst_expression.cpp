// The transition value evaluator (qrc:/js/expression.js) as the scene imports it:
// arithmetic on numbers, the scene's sizes and a fixed set of Math members is
// understood; everything else gives undefined and leaves no trace.

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtMath>
#include <QtTest>

class tst_Expression : public QObject {
    Q_OBJECT

    QQmlEngine m_engine;
    QObject* m_probe = nullptr;

    QJSValue evaluate(const QJSValue& value, const QString& scope = QStringLiteral("scope"))
    {
        return m_engine.newQObject(m_probe).property(QStringLiteral("evaluate")).call({ value, m_engine.evaluate(scope) });
    }

private slots:
    void initTestCase()
    {
        QQmlComponent component(&m_engine);
        component.setData("import QtQml 2.2\nimport \"qrc:/js/expression.js\" as Expression\n"
                          "QtObject { function evaluate(value, scope) { return Expression.evaluate(value, scope) } }\n",
            QUrl(QStringLiteral("qrc:/probe.qml")));
        m_probe = component.create(m_engine.rootContext());
        QVERIFY2(m_probe, qPrintable(component.errorString()));
        m_engine.evaluate("var closed = 0; var scope = { width: 1900, height: 1000, stack: { width: 1280, height: 720 },"
                          " mainWindow: { width: 1920, height: 1080, visible: 1, close: function () { ++closed; return 1; } } };");
    }

    void accepted_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<double>("expected");
        QTest::addRow("numbers") << ".5 + 3. + 2.5E-1 + 7e+2" << 703.75;
        QTest::addRow("signs") << "- -5 + +1 - -(1-+2)" << 5.0;
        QTest::addRow("precedence and associativity") << "2 + 3 * 4 - 10 - 4 - 100 / 10 / 5 + 1 + 7 % 4 * 2" << 5.0;
        QTest::addRow("scene sizes") << "width + height - mainWindow . width + mainWindow.height * stack.width / stack.height" << 1900 - 1920 + 1000 + 1080.0 * 1280 / 720;
        QTest::addRow("Math") << " Math.max(1, Math.PI, 2) + Math.pow(2, 10)\t- Math.floor(-1.5) + Math.atan2(1, 1) * 4 " << M_PI + 1024 + 2 + M_PI;
        QTest::addRow("a number stands for itself") << "" << -1920.0;
    }
    void accepted()
    {
        QFETCH(QString, expression);
        QFETCH(double, expected);
        const QJSValue result = expression.isEmpty() ? evaluate(QJSValue(expected)) : evaluate(expression);
        QVERIFY2(qFuzzyCompare(result.toNumber(), expected), qPrintable(result.toString()));
    }

    void rejected_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("scope");
        auto text = [](const char* tag, const QString& expression, const char* scope = "scope") {
            QTest::addRow("%s", tag) << expression << scope;
        };
        text("an unknown name", "foo");
        text("a method of the window", "mainWindow.close()");
        text("another member of the window", "mainWindow.visible");
        text("a member two levels deep", "mainWindow.contentItem.width");
        text("an assignment", "width = 0");
        text("new", "new XMLHttpRequest()");
        text("the Function constructor", "Math.constructor.constructor('return 1')()");
        text("eval", "eval('1')");
        text("a function not called", "Math.max");
        text("a Math function outside the list", "Math.random()");
        text("a comparison", "width > 1");
        text("hexadecimal", "0x10");
        text("a leading zero", "010");
        text("a non-breaking space", QString::fromUtf8("1\u00a0+ 1"));
        text("an unclosed parenthesis", "(1 + 2");
        text("a trailing comma in a call", "Math.max(1,)");
        text("too few arguments", "Math.pow(2)");
        text("too many arguments", "Math.abs(1, 2)");
        text("division by zero", "1 / 0");
        text("nested too deeply", QString("(").repeated(33) + "1" + QString(")").repeated(33));
        text("too long", QString("1+").repeated(600) + "1");
        text("no scope", "width", "undefined");
        text("width as an object", "width", "({ width: { valueOf: function () { return 1 } } })");
        text("a getter that throws", "width", "({ get width() { throw new Error('no') } })");
    }
    void rejected()
    {
        QFETCH(QString, expression);
        QFETCH(QString, scope);
        const QJSValue result = evaluate(expression, scope);
        QVERIFY2(result.isUndefined(), qPrintable(result.toString()));
        QCOMPARE(m_engine.evaluate("closed + (typeof width) + scope.width").toString(), QStringLiteral("0undefined1900"));
        for (const char* value : { "null", "true", "NaN", "Infinity", "new Number(3)" })
            QVERIFY(evaluate(m_engine.evaluate(value)).isUndefined());
    }

    void limits()
    {
        // Exactly at the nesting and length limits is fine.
        QCOMPARE(evaluate(QString("(").repeated(32) + "1" + QString(")").repeated(32)).toNumber(), 1.0);
        QCOMPARE(evaluate(QString("1+").repeated(511) + "1").toNumber(), 512.0);
    }
};

QTEST_GUILESS_MAIN(tst_Expression)
#include "tst_expression.moc"
