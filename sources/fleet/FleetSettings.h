// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// How the player joins a fleet: the [mqtt] group of the settings file, and the
// topic names built on it. Plain values and pure functions, any thread.
struct FleetSettings {
    bool enabled = false; // a usable broker= is set
    QString host;
    int port = 1883; // 8883 with TLS unless the broker names one
    QString prefix = QStringLiteral("player");
    QString username;
    QString password;
    bool tls = false;
    QString cafile; // [mqtt] cafile, else [json] cafile; empty: the system's store
    int keepalive = 30; // seconds
    QStringList problems; // one line per value that could not be used as written

    // Reads `settingsFile`; a missing file or group leaves the fleet off.
    static FleetSettings fromFile(const QString& settingsFile);

    // "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT". False when no host or a port out of range.
    static bool splitBroker(const QString& text, QString* host, int* port);

    // A topic level from an identifier: the characters MQTT gives a meaning to
    // ('/', '+', '#') and the NUL become '_', so one screen stays one level.
    static QString topicLevel(const QString& identifier);
    // "prefix/identifier/leaf", or "prefix/leaf" with no identifier (every screen).
    QString topic(const QString& identifier, const QString& leaf) const;
};
