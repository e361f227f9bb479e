// SPDX-License-Identifier: GPL-2.0-or-later
#include "FleetSettings.h"

#include <QSettings>

namespace {

// "true"/"false" as people write them in an ini file; `known` false for anything else.
bool flag(const QString& text, bool* known)
{
    const QString value = text.trimmed().toLower();
    *known = QStringList { "true", "false", "1", "0", "yes", "no", "on", "off", "" }.contains(value);
    return value == QLatin1String("true") || value == QLatin1String("1") || value == QLatin1String("yes")
        || value == QLatin1String("on");
}

} // namespace

bool FleetSettings::splitBroker(const QString& text, QString* host, int* port)
{
    const QString value = text.trimmed();
    QString portText;
    if (value.startsWith(QLatin1Char('['))) {
        const int close = value.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        *host = value.mid(1, close - 1);
        const QString rest = value.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return false;
        portText = rest.mid(1);
        if (rest == QLatin1String(":"))
            return false;
    } else if (value.count(QLatin1Char(':')) == 1) {
        *host = value.section(QLatin1Char(':'), 0, 0);
        portText = value.section(QLatin1Char(':'), 1);
        if (portText.isEmpty())
            return false;
    } else {
        *host = value; // a bare IPv6 address has several colons and no port
    }
    if (host->isEmpty() || host->contains(QLatin1Char(' ')))
        return false;
    if (portText.isEmpty())
        return true;
    bool ok = false;
    const int number = portText.toInt(&ok, 10);
    if (!ok || number < 1 || number > 65535 || portText.startsWith(QLatin1Char('+')))
        return false;
    *port = number;
    return true;
}

FleetSettings FleetSettings::fromFile(const QString& settingsFile)
{
    FleetSettings fleet;
    const QSettings settings(settingsFile, QSettings::IniFormat);
    auto text = [&settings](const char* key) {
        return settings.value(QLatin1String(key)).toStringList().join(QLatin1Char(',')).trimmed();
    };
    const QString broker = text("mqtt/broker");
    if (broker.isEmpty())
        return fleet;

    bool known = true;
    fleet.tls = flag(text("mqtt/tls"), &known);
    if (!known)
        fleet.problems << QStringLiteral("[mqtt] tls=%1 is neither true nor false: off").arg(text("mqtt/tls"));
    int port = 0;
    if (!splitBroker(broker, &fleet.host, &port)) {
        fleet.problems << QStringLiteral("[mqtt] broker=%1 is not HOST or HOST:PORT: no fleet").arg(broker);
        fleet.host.clear();
        return fleet;
    }
    fleet.port = port ? port : (fleet.tls ? 8883 : 1883);

    QString prefix = text("mqtt/prefix");
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    while (prefix.startsWith(QLatin1Char('/')))
        prefix.remove(0, 1);
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        fleet.problems << QStringLiteral("[mqtt] prefix=%1 holds a wildcard: \"player\" is used").arg(prefix);
    else if (!prefix.isEmpty())
        fleet.prefix = prefix;

    fleet.username = text("mqtt/username");
    fleet.password = settings.value(QStringLiteral("mqtt/password")).toStringList().join(QLatin1Char(','));
    fleet.cafile = text("mqtt/cafile");
    if (fleet.cafile.isEmpty())
        fleet.cafile = text("json/cafile");

    const QString keepalive = text("mqtt/keepalive");
    if (!keepalive.isEmpty()) {
        bool ok = false;
        const int seconds = keepalive.toInt(&ok, 10);
        // The library refuses less than 5 s; MQTT itself allows at most 65535.
        if (ok && seconds >= 5 && seconds <= 65535)
            fleet.keepalive = seconds;
        else
            fleet.problems << QStringLiteral("[mqtt] keepalive=%1 is not 5 to 65535 seconds: 30").arg(keepalive);
    }
    fleet.enabled = true;
    return fleet;
}

QString FleetSettings::topicLevel(const QString& identifier)
{
    QString level = identifier;
    for (QChar& c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.isNull())
            c = QLatin1Char('_');
    }
    return level;
}

QString FleetSettings::topic(const QString& identifier, const QString& leaf) const
{
    return identifier.isEmpty() ? prefix + QLatin1Char('/') + leaf
                                : prefix + QLatin1Char('/') + topicLevel(identifier) + QLatin1Char('/') + leaf;
}
