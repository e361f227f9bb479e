// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QJSValue>
#include <QJsonObject>
#include <QList>
#include <QString>

class QJSEngine;

// What is wrong with a schedule document, as the player reads it (either form),
// member by member: what the player drops or cannot honour (errors) and what it
// plays but likely not as meant (warnings). The same lines come out of the
// player's own reading and out of `player --check`, so they cannot disagree.
//
// Transition values are judged by the scene's own evaluator script, and the
// diffusion rules by what the scene's string comparisons make of them.
class ScheduleCheck {
public:
    struct Problem {
        QString path; // e.g. schedule.sequences[1].sequence.elements[3].type
        QString message;
        bool error = true;
        QString line() const;
    };

    // `address`: where the document comes from; a document from the network may
    // name network addresses only.
    static QList<Problem> check(const QJsonObject& read, const QString& address = QString());

    // Writes every problem of `read` as a warning line, unless the same document
    // from the same address was told already.
    static void sayOutLoud(const QJsonObject& read, const QString& address);

    // The scene's script resources/js/<name>.js as an object of its top-level
    // names; an error value when it cannot be loaded. Modules it imports must be
    // global properties of `engine` under their import names beforehand.
    static QJSValue loadModule(QJSEngine& engine, const QString& name);

    // The JSON text of a value, as the lines quote it ("undefined" when absent).
    static QString quoted(const QJsonValue& value);
};
