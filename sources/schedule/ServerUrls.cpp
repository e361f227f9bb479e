// SPDX-License-Identifier: GPL-2.0-or-later
#include "ServerUrls.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

#include <atomic>

namespace {

// Read by the cache's and the scene's fetches alike; written once at start.
std::atomic<bool> secure { false };

QString origin(const QString& hostPort) { return ServerUrls::scheme() + QStringLiteral("://") + hostPort; }

} // namespace

void ServerUrls::setScheme(const QString& scheme) { secure = scheme == QLatin1String("https"); }

QString ServerUrls::scheme() { return secure ? QStringLiteral("https") : QStringLiteral("http"); }

bool ServerUrls::schemeFromSettings(const QString& settingsFile, QString* scheme)
{
    const QSettings settings(settingsFile, QSettings::IniFormat);
    const QString value = settings.value(QStringLiteral("json/scheme")).toString().trimmed();
    const bool known = value.isEmpty() || value.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
        || value.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    *scheme = known && !value.isEmpty() ? value.toLower() : QStringLiteral("http");
    return known;
}

QString ServerUrls::hostPort(const QString& launchHost, const QString& launchPort, const QString& settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("json"));
    const QString host = !launchHost.isEmpty() ? launchHost : settings.value(QStringLiteral("host")).toString();
    const QString port = !launchPort.isEmpty() ? launchPort : settings.value(QStringLiteral("port")).toString();
    return host + QLatin1Char(':') + port;
}

QString ServerUrls::queryValue(const QString& value)
{
    QString text = value;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return QString::fromLatin1(QUrl::toPercentEncoding(text, " "));
}

QString ServerUrls::deviceSchedule(
    const QString& hostPort, const QString& deviceUid, const QString& startDate, const QString& endDate)
{
    QString address
        = origin(hostPort) + QStringLiteral("/ws/stream.php?action=get&device_uid=") + queryValue(deviceUid);
    if (!startDate.isEmpty())
        address += QStringLiteral("&startDate=") + queryValue(startDate);
    if (!endDate.isEmpty())
        address += QStringLiteral("&endDate=") + queryValue(endDate);
    return address;
}

QString ServerUrls::namedSchedule(const QString& hostPort, const QString& scheduleUid)
{
    return origin(hostPort) + QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=")
        + queryValue(scheduleUid) + QStringLiteral("&standalone=0");
}

QString ServerUrls::pageBuilder(const QString& hostPort, const QString& source)
{
    const QString address = hostPort + source;
    return address.startsWith(QLatin1String("http")) ? address : origin(address);
}

QString ServerUrls::media(const QString& hostPort, const QString& source)
{
    return source.startsWith(QLatin1Char('/')) ? origin(hostPort) + source : source;
}

QString ServerUrls::localSource(const QString& scheduleAddress, const QString& source)
{
    static const QRegularExpression withScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.\\-]*:"));
    const QString path = source.trimmed();
    if (path.isEmpty() || withScheme.match(path).hasMatch())
        return source;
    const QDir folder = QFileInfo(QUrl(scheduleAddress).toLocalFile()).absoluteDir();
    // Encoded: libvlc takes the address as it comes, and a "#" or "?" in a file name
    // is no fragment or query.
    return QString::fromUtf8(QUrl::fromLocalFile(QDir::cleanPath(folder.absoluteFilePath(path))).toEncoded());
}
