// SPDX-License-Identifier: GPL-2.0-or-later
#include "RemoteCommands.h"

#include "Spinner.h"

#include <QColor>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMetaObject>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <utility>

namespace {

// The datagram's JSON object, or an empty one when the text is not a JSON object.
QJsonObject objectOf(const QString& json) { return QJsonDocument::fromJson(json.toUtf8()).object(); }

// A datagram is carried out only when every key is present, whatever its value.
bool hasKeys(const QJsonObject& object, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!object.contains(key))
            return false;
    }
    return true;
}

} // namespace

RemoteCommands::RemoteCommands(Spinner* banner, QObject* launchParameters, StackLookup stack, QObject* parent)
    : QObject(parent)
    , m_banner(banner)
    , m_launch(launchParameters)
    , m_stack(std::move(stack))
    , m_bannerTimer(new QTimer(this))
{
    // Once only: a repeating timer would go on hiding later banners, "Synchronizing..." too.
    m_bannerTimer->setSingleShot(true);
    connect(m_bannerTimer, &QTimer::timeout, this, &RemoteCommands::hideBanner);
}

void RemoteCommands::hideBanner() { m_banner->hide(); }

void RemoteCommands::command(QString json)
{
    const QJsonObject object = objectOf(json);
    if (!hasKeys(object, { QStringLiteral("cmd"), QStringLiteral("id"), QStringLiteral("device_id") }))
        return;
    const QString cmd = object.value(QStringLiteral("cmd")).toString();
    if (!cmd.startsWith(QLatin1String("player_")))
        return;

    const QVariant deviceUid = m_launch->property("deviceUid");
    if (deviceUid.isValid() && object.value(QStringLiteral("device_id")).toString() != deviceUid.toString())
        return;

    if (m_banner->running())
        m_bannerTimer->stop();
    m_banner->reset();

    // Until the scene offers an operation the command simply has no effect on it;
    // asking anyway would only fill the log with "No such method" warnings.
    QObject* stack = m_stack ? m_stack() : nullptr;
    auto stackOffers
        = [stack](const char* signature) { return stack && stack->metaObject()->indexOfMethod(signature) >= 0; };
    auto callStack = [stack, &stackOffers](const char* method) {
        if (stackOffers((QByteArray(method) + "()").constData()))
            QMetaObject::invokeMethod(stack, method);
    };

    int timeout = 2000;
    if (cmd == QLatin1String("player_previous")) {
        callStack("goToPreviousComposition");
        m_banner->show(QStringLiteral("Previous"), false);
    } else if (cmd == QLatin1String("player_next")) {
        callStack("goToNextComposition");
        m_banner->show(QStringLiteral("Next"), false);
    } else if (cmd == QLatin1String("player_pause")) {
        callStack("pausePlayer");
        m_banner->show(QStringLiteral("Pause"), false);
    } else if (cmd == QLatin1String("player_resume")) {
        callStack("resumePlayer");
        m_banner->show(QStringLiteral("Resume"), false);
    } else if (cmd == QLatin1String("player_play")) {
        if (!object.contains(QStringLiteral("schedule_id"))) {
            callStack("playDefaultSchedule");
            return;
        }
        if (stackOffers("playSchedule(QVariant)")) {
            QMetaObject::invokeMethod(stack, "playSchedule",
                Q_ARG(QVariant, QVariant(object.value(QStringLiteral("schedule_id")).toString())));
        }
    } else if (cmd == QLatin1String("player_notification")) {
        if (!object.contains(QStringLiteral("text")))
            return;
        const QString level = object.contains(QStringLiteral("notification_level"))
            ? object.value(QStringLiteral("notification_level")).toString()
            : QStringLiteral("INFO");
        QColor color;
        QString image;
        if (level == QLatin1String("INFO")) {
            color = QColor(184, 218, 255, 200);
            image = QStringLiteral("images/info.png");
        } else if (level == QLatin1String("WARNING")) {
            color = QColor(255, 234, 181, 200);
            image = QStringLiteral("images/warning.png");
        } else if (level == QLatin1String("ALERT")) {
            color = QColor(245, 198, 203, 200);
            image = QStringLiteral("images/alert.png");
        } else {
            return;
        }
        m_banner->setColor(color);
        m_banner->setTextColor(QColor(0, 0, 0, 255));
        m_banner->setImageSource(image);
        m_banner->setImageVisible(true);
        m_banner->show(object.value(QStringLiteral("text")).toString(), false);
        timeout = 4000;
    } else {
        return;
    }

    if (m_banner->running())
        m_bannerTimer->start(timeout);
}

void RemoteCommands::sync(QString json)
{
    const QJsonObject object = objectOf(json);
    if (!hasKeys(object, { QStringLiteral("action") }))
        return;

    if (m_banner->running())
        m_bannerTimer->stop();
    m_banner->reset();

    const QString action = object.value(QStringLiteral("action")).toString();
    if (action == QLatin1String("sync")) {
        m_launch->setProperty("host", object.value(QStringLiteral("host")).toString());
        const QString port = object.value(QStringLiteral("port")).toString();
        bool isNumber = false;
        port.toInt(&isNumber, 10);
        if (isNumber)
            m_launch->setProperty("port", port);
        // A device identifier that is not a JSON string leaves none at all, which
        // turns device filtering off; an empty string still filters.
        const QJsonValue device = object.value(QStringLiteral("deviceUid"));
        m_launch->setProperty("deviceUid", device.isString() ? QVariant(device.toString()) : QVariant());
        m_banner->hide();
        m_launch->setProperty("jsonFile", QVariant());
        emit configurationChanged();
    } else if (action == QLatin1String("syncing")) {
        m_banner->show(QStringLiteral("Synchronizing..."));
    } else if (action == QLatin1String("syncingEnd")) {
        m_banner->hide();
    }
}
