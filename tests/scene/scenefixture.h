#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QStringList>
#include <QTcpServer>
#include <QVariant>

class Spinner;
class ScheduleQRCode;
class Utils;

// A loopback HTTP server that answers GET requests from a table of paths (query
// included). Every connection gets one answer and is closed; unknown paths get 404.
class DocumentServer : public QObject {
    Q_OBJECT

public:
    explicit DocumentServer(QObject* parent = nullptr);
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    QString url(const QString& path) const { return QStringLiteral("http://") + hostPort() + path; }

    void serve(const QString& path, const QByteArray& body, const QByteArray& type = "application/json");
    // Answers requests for `path` only after `ms` milliseconds.
    void delay(const QString& path, int ms) { m_delays.insert(path, ms); }
    QStringList requests() const { return m_requests; }

private:
    void answer(class QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QString, QPair<QByteArray, QByteArray>> m_documents;
    QHash<QString, int> m_delays;
    QStringList m_requests;
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
    QStringList texts() const;

public slots:
    void broadcastMessage(QString message) { messages.append({ clock.elapsed(), message }); }
    void showQrCode(QString value) { qrCalls.append(QStringLiteral("show:") + value); }
    void hideQrCode() { qrCalls.append(QStringLiteral("hide")); }
};

// The real scene from the resources, with the recorder as its engine, the real
// overlay models, and a document server on loopback.
class SceneFixture {
public:
    SceneFixture();
    ~SceneFixture();

    bool ok() const { return m_root != nullptr; }
    QObject* root() const { return m_root; }
    QObject* stack() const;

    // Evaluates a JavaScript expression in the scene's own context, where the
    // scene's ids (stack, stackDelegate, clock, ...) are visible.
    QVariant eval(const QString& expression) const;
    QObject* object(const QString& expression) const;

    // Serves `document` at /doc.json and calls the scene's load() on it.
    void load(const QByteArray& document, bool debug = true, const QString& path = QStringLiteral("/doc.json"));
    void callLoad(const QString& json, const QString& hostPort, bool debug);
    void invoke(const char* method, const QVariant& argument = QVariant());

    DocumentServer server;
    EngineRecorder recorder;
    QQmlApplicationEngine* engine = nullptr;

    // Lines the scene wrote while this fixture lived.
    static QStringList& log();
    QStringList debugLines() const;
    bool logContains(const QString& text) const;

private:
    QObject* m_root = nullptr;
    Spinner* m_spinner = nullptr;
    ScheduleQRCode* m_qrCode = nullptr;
    Utils* m_utils = nullptr;
};

// Builders for schedule documents.
namespace doc {
QJsonObject element(const QString& type, const QString& source, const QVariant& duration = QVariant());
QJsonObject part(const QString& property, const QJsonValue& from, const QJsonValue& to, int duration);
QJsonObject transitions(const QJsonObject& enter, const QJsonObject& exit);
QJsonObject diffusion(const QJsonValue& weekdays = QJsonArray { QStringLiteral("All") },
    const QJsonObject& dates = QJsonObject(), const QJsonObject& hours = QJsonObject());
QJsonObject entry(const QJsonArray& elements, const QVariant& duration = QVariant(),
    const QJsonObject& transitions = QJsonObject(), const QJsonObject& diffusion = doc::diffusion());
QByteArray schedule(const QJsonArray& entries, const QJsonValue& uid = QJsonValue(QJsonValue::Undefined),
    const QJsonValue& isPrivate = QJsonValue(QJsonValue::Undefined));
QByteArray text(const QJsonObject& object);
} // namespace doc
