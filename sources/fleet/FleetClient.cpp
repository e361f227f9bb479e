// SPDX-License-Identifier: GPL-2.0-or-later
#include "FleetClient.h"

#include "MqttConnection.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QQuickWindow>

FleetClient::FleetClient(const FleetSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_connection(new MqttConnection(this))
{
    m_uptime.start();
    // Retained state ages on the broker: a minute-old uptime says the screen lived then.
    m_stateTimer.setInterval(60000);
    connect(&m_stateTimer, &QTimer::timeout, this, &FleetClient::publishState);
    m_stateTimer.start();
    // Each picture costs the GUI thread a frame or two: a flood of requests must
    // not stall the screen, so at most two a second, the last request always answered.
    m_screenshotTimer.setSingleShot(true);
    connect(&m_screenshotTimer, &QTimer::timeout, this, &FleetClient::sendScreenshot);
    connect(m_connection, &MqttConnection::connected, this, [this] {
        qInfo().noquote() << "fleet: connected to"
                          << m_settings.host + QLatin1Char(':') + QString::number(m_settings.port) << "as"
                          << m_settings.topic(m_identifier, QString()).chopped(1);
        publishState();
    });
    connect(m_connection, &MqttConnection::disconnected, this, [this](const QString& reason) {
        qWarning().noquote() << "fleet: broker" << m_settings.host + QLatin1Char(':') + QString::number(m_settings.port)
                             << "-" << reason << "(trying again)";
    });
    connect(m_connection, &MqttConnection::received, this, &FleetClient::received);
}

FleetClient::~FleetClient() = default;

void FleetClient::setIdentifier(const QString& identifier)
{
    if (m_opened && identifier == m_identifier)
        return;
    m_opened = true;
    m_identifier = identifier;
    MqttConnection::Options options;
    options.host = m_settings.host;
    options.port = m_settings.port;
    options.username = m_settings.username;
    options.password = m_settings.password;
    options.tls = m_settings.tls;
    options.cafile = m_settings.cafile;
    options.keepalive = m_settings.keepalive;
    options.onlineTopic = options.willTopic = m_settings.topic(identifier, QStringLiteral("online"));
    options.subscriptions = QStringList { m_settings.topic(identifier, QStringLiteral("command")),
        m_settings.topic(QString(), QStringLiteral("command")), m_settings.topic(identifier, QStringLiteral("sync")),
        m_settings.topic(identifier, QStringLiteral("screenshot/request")) };
    m_connection->open(options);
}

void FleetClient::watchSchedule(QObject* source)
{
    m_scheduleSource = source;
    if (source && source->metaObject()->indexOfSignal("addressChanged()") >= 0)
        connect(source, SIGNAL(addressChanged()), this, SLOT(publishState()));
}

void FleetClient::setDecoder(const QString& decoder)
{
    if (m_state.decoder() == decoder)
        return;
    m_state.setDecoder(decoder);
    publishState();
}

void FleetClient::statusMessage(const QString& datagram)
{
    m_connection->publish(m_settings.topic(m_identifier, QStringLiteral("event")), datagram.toUtf8(), false);
    if (m_state.take(datagram, QDateTime::currentDateTimeUtc()))
        publishState();
}

void FleetClient::publishState()
{
    if (m_scheduleSource)
        m_state.setSchedule(m_scheduleSource->property("address").toString());
    m_connection->publish(m_settings.topic(m_identifier, QStringLiteral("state")),
        m_state.json(m_uptime.elapsed() / 1000, FleetState::ipv4Addresses()), true);
}

void FleetClient::received(const QString& topic, const QByteArray& payload)
{
    if (topic == m_settings.topic(m_identifier, QStringLiteral("screenshot/request"))) {
        const qint64 wait = m_lastScreenshot.isValid() ? 500 - m_lastScreenshot.elapsed() : 0;
        if (wait <= 0)
            sendScreenshot();
        else if (!m_screenshotTimer.isActive())
            m_screenshotTimer.start(int(wait));
        return;
    }
    // What the UDP listeners let through: a JSON object, its text up to a NUL.
    const QByteArray text = payload.indexOf('\0') < 0 ? payload : payload.left(payload.indexOf('\0'));
    if (!QJsonDocument::fromJson(text).isObject())
        return;
    if (topic == m_settings.topic(m_identifier, QStringLiteral("sync")))
        emit sync(QString::fromUtf8(text));
    else
        emit command(QString::fromUtf8(text));
}

QByteArray FleetClient::jpeg(const QImage& picture, int maxWidth)
{
    if (picture.isNull())
        return QByteArray();
    const QImage scaled
        = picture.width() > maxWidth ? picture.scaledToWidth(maxWidth, Qt::SmoothTransformation) : picture;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    if (!writer.write(scaled.convertToFormat(QImage::Format_RGB888)))
        return QByteArray();
    return bytes;
}

// grabWindow() renders the scene once more into memory, on the render thread when
// there is one: the video frames on screen are in it, as everything else.
void FleetClient::sendScreenshot()
{
    m_lastScreenshot.start();
    const QByteArray picture = m_window ? jpeg(m_window->grabWindow()) : QByteArray();
    if (picture.isEmpty()) {
        qWarning() << "fleet: screenshot asked for, but there is no picture to send";
        return;
    }
    m_connection->publish(m_settings.topic(m_identifier, QStringLiteral("screenshot")), picture, false);
}
