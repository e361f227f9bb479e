// SPDX-License-Identifier: GPL-2.0-or-later
#include "StatusScreen.h"

#include "ScheduleSource.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

StatusScreen::StatusScreen(bool enabled, QObject* parent)
    : QObject(parent)
    , m_enabled(enabled)
{
    refreshNetworkAddresses();
}

bool StatusScreen::enabledFromSettings(const QString& settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    return settings.value(QStringLiteral("screen/statusScreen"), true).toBool();
}

QString StatusScreen::failureWords(const QString& reason)
{
    // The reasons are the schedule source's own texts and Qt's network error
    // strings, tried in this order: an HTTP status wins over what its body was.
    static const struct {
        const char* pattern;
        const char* words;
    } table[] = {
        { "^HTTP (\\d+)", "HTTP \\1" },
        { "refused", "connection refused" },
        { "^Host .*not found", "host not found" },
        // The source cancels a request only when its transfer timeout runs out.
        { "timed out|timeout|canceled", "timed out" },
        { "unreachable", "network unreachable" },
        { "closed", "connection closed" },
        { "^(empty body|not JSON|not a JSON object|no schedule)", "not a schedule document" },
        { "^body larger than", "answer too large" },
        { "SSL|TLS|certificate", "secure connection failed" },
        { "No such file|not found", "not found" },
    };
    for (const auto& entry : table) {
        const QRegularExpression pattern(QString::fromLatin1(entry.pattern), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = pattern.match(reason);
        if (match.hasMatch())
            return QString::fromLatin1(entry.words).replace(QLatin1String("\\1"), match.captured(1));
    }
    return reason;
}

bool StatusScreen::watch(QObject* scene)
{
    auto* source = scene ? scene->findChild<ScheduleSource*>() : nullptr;
    if (!source)
        return false;
    setAddress(source->address());
    connect(source, &ScheduleSource::addressChanged, this, [this, source] { setAddress(source->address()); });
    connect(source, &ScheduleSource::failed, this, &StatusScreen::fail);
    connect(source, &ScheduleSource::documentReady, this, &StatusScreen::finish);
    connect(scene, SIGNAL(compositionShown(QVariant)), this, SLOT(finish()));
    connect(source->clock(), &ScheduleClock::problemChanged, this, [this, source] {
        m_clock = source->clock()->problem();
        emit changed();
    });
    return true;
}

QString StatusScreen::deviceUid() const { return m_deviceUid.isEmpty() ? QStringLiteral("(none)") : m_deviceUid; }

QString StatusScreen::version() const { return QStringLiteral(PLAYER_VERSION); }

void StatusScreen::setDeviceUid(const QString& deviceUid)
{
    m_deviceUid = deviceUid;
    emit changed();
}

void StatusScreen::setAddress(const QString& address)
{
    m_address = address;
    emit changed();
}

void StatusScreen::fail(const QString& reason)
{
    m_failure = failureWords(reason);
    // A screen often starts before its network is configured: look again at each try.
    refreshNetworkAddresses();
    emit changed();
}

void StatusScreen::finish()
{
    if (m_done)
        return;
    m_done = true;
    emit changed();
}

void StatusScreen::refreshNetworkAddresses()
{
    QStringList found;
    const auto addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            found << address.toString();
    }
    m_networkAddresses = found.isEmpty() ? QStringLiteral("(none)") : found.join(QStringLiteral(", "));
}
