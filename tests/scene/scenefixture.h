#pragma once
// The real scene from the resources, with a recording stand-in as its engine, the real
// overlay models, and a loopback HTTP server for its documents.

#include "ScheduleQRCode.h"
#include "Spinner.h"
#include "quickwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Answers GET requests from a table of paths (query included), one answer per
// connection, then closes it; unknown paths get 404.
class DocumentServer : public QObject {
public:
    DocumentServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    QString url(const QString& path) const { return QStringLiteral("http://") + hostPort() + path; }
    void serve(const QString& path, const QByteArray& body) { m_documents.insert(path, body); }
    void delay(const QString& path, int ms) { m_delays.insert(path, ms); } // answer only after ms
    QStringList requests;

private:
    void answer(QTcpSocket* socket)
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
        const QList<QByteArray> line = pending.left(pending.indexOf("\r\n")).split(' ');
        const QString path = line.size() >= 2 ? QString::fromUtf8(line.at(1)) : QString();
        requests.append(path);
        const bool found = m_documents.contains(path);
        const QByteArray body = found ? m_documents.value(path) : QByteArray("not found");
        const QByteArray response = QByteArray(found ? "HTTP/1.1 200 OK\r\nContent-Type: application/json"
                                                     : "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain")
            + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(m_delays.value(path, 0), this, [guarded, response] {
            if (guarded) {
                guarded->write(response);
                guarded->disconnectFromHost();
            }
        });
    }

    QTcpServer m_server;
    QHash<QString, QByteArray> m_documents;
    QHash<QString, int> m_delays;
};

// Stands in for the engine the scene talks to: records what the scene asks of it.
class EngineRecorder : public QObject {
    Q_OBJECT

public:
    struct Message {
        qint64 at; // ms since the recorder was created
        QString text;
    };
    QList<Message> messages;
    QStringList qrCalls; // "show:<value>" or "hide"
    QElapsedTimer clock;

    EngineRecorder() { clock.start(); }
    QStringList texts() const
    {
        QStringList out;
        for (const Message& m : messages)
            out.append(m.text);
        return out;
    }

public slots:
    void broadcastMessage(QString message) { messages.append({ clock.elapsed(), message }); }
    void showQrCode(QString value) { qrCalls.append(QStringLiteral("show:") + value); }
    void hideQrCode() { qrCalls.append(QStringLiteral("hide")); }
};

class SceneFixture {
public:
    SceneFixture()
    {
        log().clear();
        static QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                log().append(message);
                if (previous && qEnvironmentVariableIsSet("SCENE_TEST_VERBOSE"))
                    previous(type, context, message);
            });
        QQmlContext* context = engine->rootContext();
        context->setContextProperty(QStringLiteral("applicationEngine"), &recorder);
        context->setContextProperty(QStringLiteral("spinner"), &m_spinner);
        context->setContextProperty(QStringLiteral("qrCode"), &m_qrCode);
        context->setContextProperty(QStringLiteral("utils"), &m_utils);
        context->setContextProperty(QStringLiteral("deviceUID"), QStringLiteral("DEV-1"));
        context->setContextProperty(QStringLiteral("hostPort"), server.hostPort());
        engine->load(QUrl(QStringLiteral("qrc:/quickwindow.qml")));
        root = engine->rootObjects().value(0);
    }
    ~SceneFixture()
    {
        delete engine;
        // Deferred deletions of the scene's items run before the models go.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Evaluated in the scene's own context, where its ids (stack, clock, ...) are visible.
    QVariant eval(const QString& expression) const
    {
        QQmlExpression expr(qmlContext(root), root, expression);
        const QVariant value = expr.evaluate();
        if (expr.hasError())
            qWarning().noquote() << "eval failed:" << expression << expr.error().toString();
        return value;
    }
    QObject* object(const QString& expression) const { return qvariant_cast<QObject*>(eval(expression)); }

    // Serves `document` at `path` and calls the scene's load() on it.
    void load(const QByteArray& document, bool debug = true, const QString& path = QStringLiteral("/doc.json"))
    {
        server.serve(path, document);
        callLoad(server.url(path), debug);
    }
    void callLoad(const QString& json, bool debug = true)
    {
        QMetaObject::invokeMethod(root, "load", Q_ARG(QVariant, json), Q_ARG(QVariant, server.hostPort()),
            Q_ARG(QVariant, debug));
    }
    void invoke(const char* method, const QVariant& argument = QVariant())
    {
        QObject* stack = root->findChild<QObject*>(QStringLiteral("stack"));
        if (argument.isValid())
            QMetaObject::invokeMethod(stack, method, Q_ARG(QVariant, argument));
        else
            QMetaObject::invokeMethod(stack, method);
    }

    // Every line written while this fixture lived, and the scene's debug lines without their stamp.
    static QStringList& log()
    {
        static QStringList lines;
        return lines;
    }
    QStringList debugLines() const
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
    bool hasDebugLineStarting(const QString& prefix) const
    {
        for (const QString& line : debugLines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

    Spinner m_spinner;
    ScheduleQRCode m_qrCode;
    Utils m_utils;
    DocumentServer server;
    EngineRecorder recorder;
    QQmlApplicationEngine* engine = new QQmlApplicationEngine();
    QObject* root = nullptr;
};

// Builders for schedule documents.
namespace doc {
inline QJsonObject element(const QString& type, const QString& source, const QVariant& duration = QVariant())
{
    QJsonObject e { { "type", type }, { "attributes", QJsonObject { { "source", source } } } };
    if (duration.isValid())
        e.insert("duration", QJsonValue::fromVariant(duration));
    return e;
}
inline QJsonObject part(const QString& property, const QJsonValue& from, const QJsonValue& to, int duration)
{
    return { { "property", property }, { "from", from }, { "to", to }, { "duration", duration } };
}
inline QJsonObject transitions(const QJsonObject& enter, const QJsonObject& exit)
{
    return { { "enter", enter }, { "exit", exit } };
}
inline QJsonObject diffusion(const QJsonObject& hours = QJsonObject())
{
    return { { "weekdays", QJsonArray { "All" } }, { "dates", QJsonObject() }, { "hours", hours } };
}
inline QJsonObject entry(const QJsonArray& elements, const QVariant& duration = QVariant(),
    const QJsonObject& transitions = QJsonObject(), const QJsonObject& diffusion = doc::diffusion())
{
    QJsonObject global;
    if (duration.isValid())
        global.insert("duration", QJsonValue::fromVariant(duration));
    if (!transitions.isEmpty())
        global.insert("transitions", transitions);
    return { { "diffusion", diffusion }, { "sequence", QJsonObject { { "global_properties", global }, { "elements", elements } } } };
}
inline QByteArray text(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }
inline QByteArray schedule(const QJsonArray& entries, const QJsonValue& uid = QJsonValue(QJsonValue::Undefined),
    const QJsonValue& isPrivate = QJsonValue(QJsonValue::Undefined))
{
    QJsonObject s { { "sequences", entries } };
    if (!uid.isUndefined())
        s.insert("schedule_uid", uid);
    if (!isPrivate.isUndefined())
        s.insert("private", isPrivate);
    return text(QJsonObject { { "schedule", s } });
}
} // namespace doc
