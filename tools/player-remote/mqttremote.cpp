// SPDX-License-Identifier: GPL-2.0-or-later
// player-remote through an MQTT broker: one short session a run, driven here
// without an event loop (the library's own loop with a deadline).
#include "remoterequest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <mosquitto.h>

#include <cstdio>
#include <functional>

namespace remote {

namespace {

    struct Session {
        mosquitto* mosq = nullptr;
        int connack = -1; // the broker's answer; -1 before it
        int acknowledged = 0; // SUBACKs and PUBACKs
        int loopError = MOSQ_ERR_NO_CONN; // why the session ended
        QByteArray libraryError; // the library's first error line (a TLS failure's reason)
        QElapsedTimer sinceMessage;
        std::function<void(const QString&, const QByteArray&)> onMessage;

        ~Session()
        {
            if (mosq) {
                mosquitto_disconnect(mosq);
                mosquitto_loop(mosq, 50, 1);
                mosquitto_destroy(mosq);
            }
            mosquitto_lib_cleanup();
        }

        // Runs the session until `done` or `timeoutMs` (-1: never); false on time-out or a lost session.
        bool runUntil(const std::function<bool()>& done, int timeoutMs)
        {
            QElapsedTimer clock;
            clock.start();
            while (!done()) {
                if (timeoutMs >= 0 && clock.elapsed() > timeoutMs)
                    return false;
                if ((loopError = mosquitto_loop(mosq, 50, 1)) != MOSQ_ERR_SUCCESS)
                    return false;
            }
            return true;
        }
    };

    QByteArray utf8(const QString& text) { return text.toUtf8(); }

    QString where(const Broker& broker)
    {
        return QStringLiteral("mqtt%1://%2:%3").arg(broker.tls ? "s" : "").arg(broker.host).arg(broker.port);
    }

    // Connected and accepted, or an error printed and false.
    bool open(Session& session, const Broker& broker)
    {
        mosquitto_lib_init();
        session.mosq = mosquitto_new(nullptr, true, &session);
        if (!session.mosq)
            return false;
        mosquitto_int_option(session.mosq, MOSQ_OPT_TCP_NODELAY, 1);
        if (!broker.username.isEmpty())
            mosquitto_username_pw_set(session.mosq, utf8(broker.username).constData(),
                broker.password.isEmpty() ? nullptr : utf8(broker.password).constData());
        if (broker.tls) {
            const int rc = broker.cafile.isEmpty()
                ? mosquitto_int_option(session.mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                : mosquitto_tls_set(session.mosq, utf8(broker.cafile).constData(), nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                std::fprintf(stderr, "player-remote: TLS: %s\n", mosquitto_strerror(rc));
                return false;
            }
        }
        mosquitto_connect_callback_set(
            session.mosq, [](mosquitto*, void* data, int rc) { static_cast<Session*>(data)->connack = rc; });
        mosquitto_subscribe_callback_set(session.mosq,
            [](mosquitto*, void* data, int, int, const int*) { ++static_cast<Session*>(data)->acknowledged; });
        mosquitto_publish_callback_set(
            session.mosq, [](mosquitto*, void* data, int) { ++static_cast<Session*>(data)->acknowledged; });
        mosquitto_message_callback_set(session.mosq, [](mosquitto*, void* data, const mosquitto_message* message) {
            auto* self = static_cast<Session*>(data);
            // What the broker retains comes in one burst after the SUBACK; live messages
            // (2,000 screens send some every second) must not hold the list back.
            if (message->retain)
                self->sinceMessage.restart();
            if (self->onMessage)
                self->onMessage(QString::fromUtf8(message->topic),
                    QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
        });
        mosquitto_log_callback_set(session.mosq, [](mosquitto*, void* data, int level, const char* text) {
            auto* self = static_cast<Session*>(data);
            if (level == MOSQ_LOG_ERR && self->libraryError.isEmpty())
                self->libraryError = text;
        });
        int rc = mosquitto_connect(session.mosq, utf8(broker.host).constData(), broker.port, 30);
        if (rc == MOSQ_ERR_SUCCESS && !session.runUntil([&session] { return session.connack >= 0; }, 10000))
            rc = session.loopError;
        if (rc != MOSQ_ERR_SUCCESS || session.connack != 0) {
            // A refusal ends the session too: the broker's word says more than the lost connection.
            const char* reason = session.connack > 0 ? mosquitto_connack_string(session.connack)
                : rc != MOSQ_ERR_SUCCESS             ? mosquitto_strerror(rc)
                                                     : "no answer";
            const QByteArray detail = session.libraryError.isEmpty() ? QByteArray() : " (" + session.libraryError + ")";
            std::fprintf(stderr, "player-remote: cannot use the broker %s: %s%s\n", qPrintable(where(broker)), reason,
                detail.constData());
            return false;
        }
        return true;
    }

    bool subscribe(Session& session, const QStringList& topics)
    {
        const int wanted = session.acknowledged + topics.size();
        for (const QString& topic : topics)
            mosquitto_subscribe(session.mosq, nullptr, utf8(topic).constData(), 1);
        return session.runUntil([&] { return session.acknowledged >= wanted; }, 10000);
    }

    bool publish(Session& session, const QString& topic, const QByteArray& payload)
    {
        const int wanted = session.acknowledged + 1;
        return mosquitto_publish(
                   session.mosq, nullptr, utf8(topic).constData(), payload.size(), payload.constData(), 1, false)
            == MOSQ_ERR_SUCCESS
            && session.runUntil([&] { return session.acknowledged >= wanted; }, 10000);
    }

    // The screen's identifier in "prefix/ID/leaf".
    QString screenOf(const Broker& broker, const QString& topic)
    {
        return topic.mid(broker.prefix.size() + 1).section(QLatin1Char('/'), 0, 0);
    }

} // namespace

int mqttSend(const Request& request)
{
    Session session;
    if (!open(session, request.broker))
        return 1;
    if (!publish(session, request.topic, request.datagram)) {
        std::fprintf(stderr, "player-remote: the broker did not take %s\n", qPrintable(request.topic));
        return 1;
    }
    std::printf("sent to %s/%s: %s\n", qPrintable(where(request.broker)), qPrintable(request.topic),
        request.datagram.constData());
    return 0;
}

int mqttListen(const Request& request)
{
    Session session;
    if (!open(session, request.broker))
        return 1;
    int received = 0;
    session.onMessage = [&](const QString& topic, const QByteArray& payload) {
        QJsonObject line { { "from", screenOf(request.broker, topic) } };
        const QJsonDocument document = QJsonDocument::fromJson(payload);
        if (document.isObject())
            line.insert("message", document.object());
        else
            line.insert("text", QString::fromUtf8(payload));
        std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
        ++received;
    };
    if (!subscribe(session, { request.topic }))
        return 1;
    std::fprintf(
        stderr, "player-remote: listening on %s/%s\n", qPrintable(where(request.broker)), qPrintable(request.topic));
    std::fflush(stderr);
    const bool done
        = session.runUntil([&] { return request.count > 0 && received >= request.count; }, request.timeoutMs);
    if (!done && request.count > 0) {
        std::fprintf(stderr, "player-remote: %d of %d status messages before the time-out\n", received, request.count);
        return 1;
    }
    return 0;
}

int mqttFleet(const Request& request)
{
    Session session;
    if (!open(session, request.broker))
        return 1;
    QMap<QString, QJsonObject> screens;
    session.onMessage = [&](const QString& topic, const QByteArray& payload) {
        QJsonObject& screen = screens[screenOf(request.broker, topic)];
        if (topic.endsWith(QLatin1String("/online")))
            screen.insert("online", payload == "true");
        else
            screen.insert("state", QJsonDocument::fromJson(payload).object());
    };
    const QString prefix = request.broker.prefix + QLatin1Char('/');
    if (!subscribe(session, { prefix + QStringLiteral("+/online"), prefix + QStringLiteral("+/state") }))
        return 1;
    // The broker hands over what it retains at once after the SUBACKs: the list is
    // whole once no retained message has come for a moment.
    session.sinceMessage.start();
    session.runUntil(
        [&] { return session.sinceMessage.elapsed() > 300; }, request.timeoutMs > 0 ? request.timeoutMs : 10000);

    if (request.json) {
        QJsonArray list;
        for (auto it = screens.begin(); it != screens.end(); ++it) {
            QJsonObject entry = it.value();
            entry.insert("id", it.key());
            entry.insert("online", entry.value("online").toBool());
            list.append(entry);
        }
        std::printf("%s\n", QJsonDocument(list).toJson(QJsonDocument::Compact).constData());
        return 0;
    }
    std::printf("%-24s %-7s %-40s %-24s %s\n", "IDENTIFIER", "ONLINE", "COMPOSITION", "SINCE", "VERSION");
    for (auto it = screens.begin(); it != screens.end(); ++it) {
        const QJsonObject state = it.value().value("state").toObject();
        const QString source = state.value("composition").toObject().value("source").toString();
        std::printf("%-24s %-7s %-40s %-24s %s\n", qPrintable(it.key()),
            it.value().value("online").toBool() ? "yes" : "no", qPrintable(source.isEmpty() ? "-" : source),
            qPrintable(state.value("since").toString("-")), qPrintable(state.value("version").toString("-")));
    }
    return 0;
}

int mqttScreenshot(const Request& request)
{
    Session session;
    if (!open(session, request.broker))
        return 1;
    const QString base = request.broker.prefix + QLatin1Char('/') + request.screen + QStringLiteral("/screenshot");
    QByteArray picture;
    bool arrived = false;
    session.onMessage = [&](const QString&, const QByteArray& payload) {
        picture = payload;
        arrived = true;
    };
    if (!subscribe(session, { base }) || !publish(session, base + QStringLiteral("/request"), "{}"))
        return 1;
    const int timeout = request.timeoutMs > 0 ? request.timeoutMs : 5000;
    if (!session.runUntil([&] { return arrived; }, timeout)) {
        std::fprintf(stderr, "player-remote: no screenshot from %s within %d ms (is it online?)\n",
            qPrintable(request.screen), timeout);
        return 1;
    }
    QFile file(request.output);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size()) {
        std::fprintf(
            stderr, "player-remote: cannot write %s: %s\n", qPrintable(request.output), qPrintable(file.errorString()));
        return 1;
    }
    std::printf("%s: %d bytes from %s\n", qPrintable(request.output), int(picture.size()), qPrintable(request.screen));
    return 0;
}

} // namespace remote
