// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Every address the player builds on the signage server, in one place so that
// the shell, the schedule source and the scene encode alike. Pure functions,
// callable from any thread.
class ServerUrls {
public:
    // "http" (the default) or "https": the scheme of every address built below.
    // Set once from the settings before the first fetch; anything else reads as http.
    static void setScheme(const QString& scheme);
    static QString scheme();
    // "[json] scheme" in the settings file: "http" or "https"; false (and http)
    // when the value is neither.
    static bool schemeFromSettings(const QString& settingsFile, QString* scheme);

    // A value for a query string: everything that could end or split it is
    // percent-encoded. Spaces stay readable in debug lines; the URL parser encodes
    // them as the request goes out. A lone surrogate (a JSON escape can make one)
    // has no UTF-8 form and is sent as U+FFFD.
    static QString queryValue(const QString& value);

    // The signage server's "host:port": each part from the command line when given
    // there (not empty), else from the "json" group of the settings file.
    static QString hostPort(const QString& launchHost, const QString& launchPort, const QString& settingsFile);

    // The device's own schedule; the dates are left out when empty.
    static QString deviceSchedule(
        const QString& hostPort, const QString& deviceUid, const QString& startDate, const QString& endDate);
    // A schedule chosen by its identifier (the remote "play" command).
    static QString namedSchedule(const QString& hostPort, const QString& scheduleUid);
    // A page-builder page: its source is a path on the server, glued to host:port
    // as it comes, and given the scheme unless that already reads "http".
    static QString pageBuilder(const QString& hostPort, const QString& source);
    // An image or video: "/" paths are served by the signage server, anything
    // else is already an address.
    static QString media(const QString& hostPort, const QString& source);
    // A source in a schedule read from this machine's disk (`scheduleAddress` is the
    // file: address it was read from): a relative path is taken from the schedule's
    // folder, an absolute path is a file, and an address with a scheme stays as it is.
    static QString localSource(const QString& scheduleAddress, const QString& source);
};
