// SPDX-License-Identifier: GPL-2.0-or-later
#include "ServerTrust.h"

#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>

QString ServerTrust::cafileFromSettings(const QString& settingsFile)
{
    const QSettings settings(settingsFile, QSettings::IniFormat);
    return settings.value(QStringLiteral("json/cafile")).toString().trimmed();
}

bool ServerTrust::trust(const QString& cafile, QString* error)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(cafile, QSsl::Pem);
    if (certificates.isEmpty()) {
        *error = QStringLiteral("%1 is not a readable PEM file of certificates").arg(cafile);
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Setting a list ends the lazy loading of the system's store: name it too.
    configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}
