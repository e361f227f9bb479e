#include "scenefixture.h"

#include "ScheduleQRCode.h"
#include "Spinner.h"
#include "quickwindow.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QQmlContext>
#include <QQmlExpression>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QTest>

DocumentServer::DocumentServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool DocumentServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void DocumentServer::serve(const QString& path, const QByteArray& body, const QByteArray& type)
{
    m_documents.insert(path, qMakePair(body, type));
}

void DocumentServer::answer(QTcpSocket* socket)
{
    // Requests are small: wait for the end of the header, never for more.
    const QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
    if (!pending.contains("\r\n\r\n")) {
        if (pending.size() < 16384)
            socket->setProperty("pending", pending);
        else
            socket->abort();
        return;
    }
    const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QString();
    m_requests.append(path);

    QByteArray response;
    const auto found = m_documents.constFind(path);
    if (found != m_documents.constEnd()) {
        response = "HTTP/1.1 200 OK\r\nContent-Type: " + found->second + "\r\nContent-Length: "
            + QByteArray::number(found->first.size()) + "\r\nConnection: close\r\n\r\n" + found->first;
    } else {
        const QByteArray body = "not found";
        response = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    const int delay = m_delays.value(path, 0);
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(delay, this, [guarded, response] {
        if (!guarded)
            return;
        guarded->write(response);
        guarded->disconnectFromHost();
    });
}

QStringList EngineRecorder::texts() const
{
    QStringList out;
    for (const Message& m : messages)
        out.append(m.text);
    return out;
}

QStringList& SceneFixture::log()
{
    static QStringList lines;
    return lines;
}

namespace {
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    SceneFixture::log().append(message);
    if (previousHandler && qEnvironmentVariableIsSet("SCENE_TEST_VERBOSE"))
        previousHandler(type, context, message);
}
} // namespace

SceneFixture::SceneFixture()
{
    log().clear();
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(recordMessage);
    server.listen();

    engine = new QQmlApplicationEngine();
    m_spinner = new Spinner();
    m_qrCode = new ScheduleQRCode();
    m_utils = new Utils();
    QQmlContext* context = engine->rootContext();
    context->setContextProperty(QStringLiteral("applicationEngine"), &recorder);
    context->setContextProperty(QStringLiteral("spinner"), m_spinner);
    context->setContextProperty(QStringLiteral("qrCode"), m_qrCode);
    context->setContextProperty(QStringLiteral("utils"), m_utils);
    context->setContextProperty(QStringLiteral("deviceUID"), QStringLiteral("DEV-1"));
    context->setContextProperty(QStringLiteral("hostPort"), server.hostPort());
    engine->load(QUrl(QStringLiteral("qrc:/quickwindow.qml")));
    if (!engine->rootObjects().isEmpty())
        m_root = engine->rootObjects().first();
}

SceneFixture::~SceneFixture()
{
    delete engine;
    // Deferred deletions of the scene's items run before the models go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete m_spinner;
    delete m_qrCode;
    delete m_utils;
}

QObject* SceneFixture::stack() const
{
    return m_root ? m_root->findChild<QObject*>(QStringLiteral("stack")) : nullptr;
}

QVariant SceneFixture::eval(const QString& expression) const
{
    QQmlExpression expr(qmlContext(m_root), m_root, expression);
    const QVariant value = expr.evaluate();
    if (expr.hasError())
        qWarning().noquote() << "eval failed:" << expression << expr.error().toString();
    return value;
}

QObject* SceneFixture::object(const QString& expression) const
{
    return qvariant_cast<QObject*>(eval(expression));
}

void SceneFixture::load(const QByteArray& document, bool debug, const QString& path)
{
    server.serve(path, document);
    callLoad(server.url(path), server.hostPort(), debug);
}

void SceneFixture::callLoad(const QString& json, const QString& hostPort, bool debug)
{
    QMetaObject::invokeMethod(m_root, "load", Q_ARG(QVariant, json), Q_ARG(QVariant, hostPort), Q_ARG(QVariant, debug));
}

void SceneFixture::invoke(const char* method, const QVariant& argument)
{
    if (argument.isValid())
        QMetaObject::invokeMethod(stack(), method, Q_ARG(QVariant, argument));
    else
        QMetaObject::invokeMethod(stack(), method);
}

QStringList SceneFixture::debugLines() const
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d- DEBUG :"));
    QStringList out;
    for (const QString& line : log()) {
        const auto match = stamp.match(line);
        if (match.hasMatch())
            out.append(line.mid(match.capturedLength()));
    }
    return out;
}

bool SceneFixture::logContains(const QString& text) const
{
    for (const QString& line : log()) {
        if (line.contains(text))
            return true;
    }
    return false;
}

namespace doc {

QJsonObject element(const QString& type, const QString& source, const QVariant& duration)
{
    QJsonObject e { { QStringLiteral("type"), type },
        { QStringLiteral("attributes"), QJsonObject { { QStringLiteral("source"), source } } } };
    if (duration.isValid())
        e.insert(QStringLiteral("duration"), QJsonValue::fromVariant(duration));
    return e;
}

QJsonObject part(const QString& property, const QJsonValue& from, const QJsonValue& to, int duration)
{
    return { { QStringLiteral("property"), property }, { QStringLiteral("from"), from }, { QStringLiteral("to"), to },
        { QStringLiteral("duration"), duration } };
}

QJsonObject transitions(const QJsonObject& enter, const QJsonObject& exit)
{
    return { { QStringLiteral("enter"), enter }, { QStringLiteral("exit"), exit } };
}

QJsonObject diffusion(const QJsonValue& weekdays, const QJsonObject& dates, const QJsonObject& hours)
{
    return { { QStringLiteral("weekdays"), weekdays }, { QStringLiteral("dates"), dates },
        { QStringLiteral("hours"), hours } };
}

QJsonObject entry(const QJsonArray& elements, const QVariant& duration, const QJsonObject& transitions,
    const QJsonObject& diffusion)
{
    QJsonObject global;
    if (duration.isValid())
        global.insert(QStringLiteral("duration"), QJsonValue::fromVariant(duration));
    if (!transitions.isEmpty())
        global.insert(QStringLiteral("transitions"), transitions);
    return { { QStringLiteral("diffusion"), diffusion },
        { QStringLiteral("sequence"),
            QJsonObject { { QStringLiteral("global_properties"), global }, { QStringLiteral("elements"), elements } } } };
}

QByteArray schedule(const QJsonArray& entries, const QJsonValue& uid, const QJsonValue& isPrivate)
{
    QJsonObject s { { QStringLiteral("sequences"), entries } };
    if (!uid.isUndefined())
        s.insert(QStringLiteral("schedule_uid"), uid);
    if (!isPrivate.isUndefined())
        s.insert(QStringLiteral("private"), isPrivate);
    return text(QJsonObject { { QStringLiteral("schedule"), s } });
}

QByteArray text(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace doc
