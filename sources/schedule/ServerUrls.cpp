// SPDX-License-Identifier: GPL-2.0-or-later
#include "ServerUrls.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

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
    QString address = QStringLiteral("http://") + hostPort + QStringLiteral("/ws/stream.php?action=get&device_uid=")
        + queryValue(deviceUid);
    if (!startDate.isEmpty())
        address += QStringLiteral("&startDate=") + queryValue(startDate);
    if (!endDate.isEmpty())
        address += QStringLiteral("&endDate=") + queryValue(endDate);
    return address;
}

QString ServerUrls::namedSchedule(const QString& hostPort, const QString& scheduleUid)
{
    return QStringLiteral("http://") + hostPort + QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=")
        + queryValue(scheduleUid) + QStringLiteral("&standalone=0");
}

QString ServerUrls::pageBuilder(const QString& hostPort, const QString& source)
{
    const QString address = hostPort + source;
    return address.startsWith(QLatin1String("http")) ? address : QStringLiteral("http://") + address;
}

QString ServerUrls::media(const QString& hostPort, const QString& source)
{
    return source.startsWith(QLatin1Char('/')) ? QStringLiteral("http://") + hostPort + source : source;
}

QString ServerUrls::localSource(const QString& scheduleAddress, const QString& source)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.\\-]*:"));
    const QString path = source.trimmed();
    if (path.isEmpty() || scheme.match(path).hasMatch())
        return source;
    const QDir folder = QFileInfo(QUrl(scheduleAddress).toLocalFile()).absoluteDir();
    // Encoded: libvlc takes the address as it comes, and a "#" or "?" in a file name
    // is no fragment or query.
    return QString::fromUtf8(QUrl::fromLocalFile(QDir::cleanPath(folder.absoluteFilePath(path))).toEncoded());
}
