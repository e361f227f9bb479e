// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The second step of reading a schedule: from a document the reader accepted to
// the document the scene can play without checking it again. Pure functions,
// called on the GUI thread by the schedule source.
//
// Both forms come out alike: {"schedule": {"sequences": [...], ...}}. The old
// form (a top-level "objects" array) becomes one entry that plays every day, all
// day, and the result carries "objectsForm": true, because such a document names
// no schedule: the scene keeps the identifier and privacy of the one before.
// Entries and elements the scene could not show are dropped, page-builder sources
// are completed into addresses on the server, and a document fetched over the
// network keeps only elements that load network addresses: anyone on the LAN can
// point the player at a server of their own, and that server must not make the
// screen show the machine's files. A document read from this machine's own disk
// (a file: address) may name anything, and its paths are files beside it.
//
// Whether a QML component can be built for an element's type is known only to
// the scene: it refuses those elements when it builds them.
class ScheduleDocument {
public:
    static const QStringList& playableTypes();

    // `lines` (may be null) receives one debug line per repair or drop.
    static QJsonObject intake(
        const QJsonObject& read, const QString& address, const QString& hostPort, QStringList* lines);

    // The reason an element (with a playable type and attributes, page-builder
    // source completed) may not play from a network document, "" when it may.
    static QString refusal(const QJsonObject& element);

    // The lower-case scheme of an address, "" when it has none (a relative path).
    static QString schemeOf(const QString& text);
};
