// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Whom the player believes when it fetches over https: the system's trust store,
// plus the certificates of one PEM file when the settings name one. Every Qt
// fetch of the process (schedule, kept media, images) follows the default TLS
// configuration, so it is set once, on the GUI thread, before the first fetch.
class ServerTrust {
public:
    // "[json] cafile" of the settings file; empty when unset.
    static QString cafileFromSettings(const QString& settingsFile);
    // Adds the certificates of `cafile` to the default configuration. False, with
    // the reason in `error`, when the file is unreadable or holds no certificate:
    // the system's store alone is then trusted.
    static bool trust(const QString& cafile, QString* error);
};
