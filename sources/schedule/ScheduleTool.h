// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ScheduleCheck.h"

#include <QDateTime>
#include <QJsonObject>

class CommandLine;

// The player's answers about a schedule without playing it, for the command line:
//   player --check SOURCE       what is wrong with the document and its media
//   player --simulate SOURCE [--from=yyyy-MM-ddTHH:mm] [--days=N] [--hours=N] [--video=SECONDS]
//                               what the screen would play, in local time
// SOURCE is a file, or a file: or http(s): address; --host and --port (else
// player.ini) name the signage server of "/" sources. No display is needed.
class ScheduleTool {
public:
    // The exit status: check: 0 clean, 1 errors; 2 when the source cannot be read.
    static int run(int argc, char** argv, const CommandLine& commandLine);

    // Problems of the media the elements of `read` (from `address`) load: a server
    // that does not answer with the file, a local file that is not there. Requests
    // are sequential and bounded.
    static QList<ScheduleCheck::Problem> mediaProblems(
        const QJsonObject& read, const QString& address, const QString& hostPort);

    struct Simulation {
        QDateTime from;
        qint64 span = 86400000; // ms
        int listedHours = 1; // compositions are listed this long after each change
        int videoSeconds = 30; // how long a video that ends by itself is taken to last
    };
    // The timeline the scene would play from `read` (as fetched from `address`),
    // with the scene's own selection and stepping scripts.
    static QString simulate(
        const QJsonObject& read, const QString& address, const QString& hostPort, const Simulation& simulation);
};
