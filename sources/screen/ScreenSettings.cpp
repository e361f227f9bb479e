// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScreenSettings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>

ScreenSettings::ScreenSettings(int rotation, QObject* parent)
    : QObject(parent)
    , m_rotation(rotation)
{
}

int ScreenSettings::parseRotation(const QString& text)
{
    bool ok = false;
    const int degrees = text.trimmed().toInt(&ok, 10);
    return ok && (degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270) ? degrees : -1;
}

int ScreenSettings::rotationFrom(const QString& argument, const QString& settingsFile, QStringList* problems)
{
    if (!argument.isNull()) {
        const int degrees = parseRotation(argument);
        if (degrees >= 0)
            return degrees;
        problems->append(QStringLiteral("--rotation=%1 is not 0, 90, 180 or 270: ignored").arg(argument));
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("screen/rotation"));
    if (!value.isValid())
        return 0;
    const int degrees = parseRotation(value.toString());
    if (degrees >= 0)
        return degrees;
    problems->append(QStringLiteral("%1: [screen] rotation=%2 is not 0, 90, 180 or 270: 0 is used")
                         .arg(settingsFile, value.toString()));
    return 0;
}

ScreenSettings* ScreenSettings::fromLaunch(QObject* parent)
{
    QStringList problems;
    const int degrees = rotationFrom(qApp->property("rotation").toString(), QStringLiteral("player.ini"), &problems);
    for (const QString& problem : problems)
        qWarning().noquote() << problem;
    return new ScreenSettings(degrees, parent);
}
