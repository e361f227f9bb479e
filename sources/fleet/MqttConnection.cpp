// SPDX-License-Identifier: GPL-2.0-or-later
#include "MqttConnection.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

struct MqttConnection::Session {
    explicit Session(const Options& o, MqttConnection* owner)
        : options(o)
        , owner(owner)
    {
    }

    // Hands `deliver` to the owner's thread, unless the owner is gone.
    void post(std::function<void(MqttConnection*)> deliver)
    {
        const std::lock_guard<std::mutex> lock(ownerMutex);
        if (MqttConnection* target = owner)
            QMetaObject::invokeMethod(
                target, [target, deliver] { deliver(target); }, Qt::QueuedConnection);
    }

    // A reason worth a line: the first of a run of equal ones.
    void tell(const QString& reason)
    {
        if (reason == lastReason)
            return;
        lastReason = reason;
        post([reason](MqttConnection* target) { emit target->disconnected(reason); });
    }

    void run();
    mosquitto* make();
    QString failure(int rc) const
    {
        const QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                                  : QString::fromUtf8(mosquitto_strerror(rc));
        return libraryError.isEmpty() ? text : text + QStringLiteral(" (") + libraryError + QLatin1Char(')');
    }

    const Options options;
    std::atomic<bool> stop { false };
    std::atomic<bool> connected { false };
    std::atomic<bool> accepted { false }; // the broker took the last attempt
    QString lastReason; // the session's thread only
    QString libraryError; // likewise: the library's first error line of this attempt

    std::mutex ownerMutex; // never held while the library is called
    MqttConnection* owner;

    std::mutex handleMutex; // guards `handle` against its destruction
    mosquitto* handle = nullptr;

    std::mutex waitMutex;
    std::condition_variable wake;
    bool finished = false; // under waitMutex, told through `wake`
};

namespace {

QByteArray bytes(const QString& text) { return text.toUtf8(); }

void onConnect(mosquitto* mosq, void* data, int rc)
{
    auto* session = static_cast<MqttConnection::Session*>(data);
    if (rc != 0) {
        session->tell(QStringLiteral("refused by the broker: ") + QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    for (const QString& topic : session->options.subscriptions)
        mosquitto_subscribe(mosq, nullptr, bytes(topic).constData(), 1);
    if (!session->options.onlineTopic.isEmpty())
        mosquitto_publish(mosq, nullptr, bytes(session->options.onlineTopic).constData(), 4, "true", 1, true);
    session->connected = true;
    session->accepted = true;
    session->lastReason.clear();
    session->post([](MqttConnection* target) { emit target->connected(); });
}

void onDisconnect(mosquitto*, void* data, int rc)
{
    auto* session = static_cast<MqttConnection::Session*>(data);
    // A connection the broker never accepted was not lost: its refusal is told already.
    if (session->connected.exchange(false) && rc != 0 && !session->stop)
        session->tell(QStringLiteral("connection lost"));
}

void onMessage(mosquitto*, void* data, const mosquitto_message* message)
{
    auto* session = static_cast<MqttConnection::Session*>(data);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    session->post([topic, payload](MqttConnection* target) { emit target->received(topic, payload); });
}

// The library's own account of a TLS failure ("certificate verify failed") is only logged.
void onLog(mosquitto*, void* data, int level, const char* text)
{
    auto* session = static_cast<MqttConnection::Session*>(data);
    if (level == MOSQ_LOG_ERR && session->libraryError.isEmpty())
        session->libraryError = QString::fromUtf8(text);
}

} // namespace

// A fresh handle for each attempt: one whose connection failed half-way (in the
// TLS handshake) is not always fit for the next.
mosquitto* MqttConnection::Session::make()
{
    mosquitto* mosq = mosquitto_new(nullptr, true, this);
    if (!mosq)
        return nullptr;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Small messages that should leave at once: Nagle's wait for the broker's
    // delayed ACK would add some 40 ms to every answer to a command.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!options.username.isEmpty())
        mosquitto_username_pw_set(mosq, bytes(options.username).constData(),
            options.password.isEmpty() ? nullptr : bytes(options.password).constData());
    if (!options.willTopic.isEmpty())
        mosquitto_will_set(mosq, bytes(options.willTopic).constData(), 5, "false", 1, true);
    if (options.tls) {
        const int rc = options.cafile.isEmpty()
            ? mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
            : mosquitto_tls_set(mosq, bytes(options.cafile).constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            tell(QStringLiteral("TLS not usable with %1: %2").arg(options.cafile, failure(rc)));
            mosquitto_destroy(mosq);
            return nullptr;
        }
    }
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_disconnect_callback_set(mosq, onDisconnect);
    mosquitto_message_callback_set(mosq, onMessage);
    mosquitto_log_callback_set(mosq, onLog);
    return mosq;
}

void MqttConnection::Session::run()
{
    const QByteArray host = bytes(options.host);
    int attempt = 0;
    while (!stop) {
        mosquitto* mosq = make();
        if (!mosq)
            break;
        {
            const std::lock_guard<std::mutex> lock(handleMutex);
            handle = mosq;
        }
        accepted = false;
        libraryError.clear();
        int rc = mosquitto_connect(mosq, host.constData(), options.port, options.keepalive);
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!stop && (rc = mosquitto_loop(mosq, 200, 1)) == MOSQ_ERR_SUCCESS) { }
            if (stop && connected) {
                // Whatever the owner queued last (its goodbye) leaves before the DISCONNECT.
                mosquitto_disconnect(mosq);
                for (int i = 0; i < 10 && mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS; ++i) { }
            }
            if (!stop && !accepted && rc != MOSQ_ERR_CONN_REFUSED)
                tell(QStringLiteral("no answer from the broker: ") + failure(rc));
        } else {
            tell(failure(rc));
        }
        connected = false;
        {
            const std::lock_guard<std::mutex> lock(handleMutex);
            handle = nullptr;
        }
        mosquitto_destroy(mosq);
        if (stop)
            break;
        if (accepted)
            attempt = 0;
        std::unique_lock<std::mutex> lock(waitMutex);
        wake.wait_for(
            lock, std::chrono::milliseconds(MqttConnection::retryDelayMs(attempt++)), [this] { return bool(stop); });
    }
    const std::lock_guard<std::mutex> lock(waitMutex);
    finished = true;
    wake.notify_all();
}

MqttConnection::MqttConnection(QObject* parent)
    : QObject(parent)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
}

// At the end of the process a session still busy would meet a library being torn
// down: it gets a moment to say goodbye and finish, but never more than that.
MqttConnection::~MqttConnection()
{
    const std::shared_ptr<Session> session = m_session;
    close();
    if (!session)
        return;
    std::unique_lock<std::mutex> lock(session->waitMutex);
    session->wake.wait_for(lock, std::chrono::seconds(1), [&session] { return session->finished; });
}

int MqttConnection::retryDelayMs(int attempt) { return std::min(60000, 1000 << std::clamp(attempt, 0, 6)); }

void MqttConnection::open(const Options& options)
{
    close();
    m_session = std::make_shared<Session>(options, this);
    // The thread holds its own share: it may outlive this object (a connect to an
    // unreachable host takes minutes to fail) and ends once it sees `stop`.
    std::thread([session = m_session] { session->run(); }).detach();
}

void MqttConnection::close()
{
    if (!m_session)
        return;
    if (!m_session->options.onlineTopic.isEmpty())
        publish(m_session->options.onlineTopic, "false", true);
    {
        const std::lock_guard<std::mutex> lock(m_session->ownerMutex);
        m_session->owner = nullptr;
    }
    {
        const std::lock_guard<std::mutex> lock(m_session->waitMutex);
        m_session->stop = true;
    }
    m_session->wake.notify_all();
    m_session.reset();
}

bool MqttConnection::isConnected() const { return m_session && m_session->connected; }

bool MqttConnection::publish(const QString& topic, const QByteArray& payload, bool retained)
{
    if (!isConnected())
        return false;
    const std::lock_guard<std::mutex> lock(m_session->handleMutex);
    if (!m_session->handle)
        return false;
    return mosquitto_publish(
               m_session->handle, nullptr, bytes(topic).constData(), payload.size(), payload.constData(), 1, retained)
        == MOSQ_ERR_SUCCESS;
}
