// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

// What one run of player-remote is asked to do, worked out from its arguments
// alone so that the datagrams it would send can be checked without a network.
namespace remote {

constexpr quint16 commandPort = 8000;
constexpr quint16 syncPort = 9000;
constexpr quint16 statusPort = 8001;

enum class Action { Help, Send, Listen, Fleet, Screenshot };

// A broker to go through instead of the LAN (--mqtt and its companions).
struct Broker {
    QString host; // empty: UDP
    int port = 1883;
    QString prefix = QStringLiteral("player");
    QString username;
    QString password;
    bool tls = false;
    QString cafile;
};

struct Request {
    Action action = Action::Help;
    QByteArray datagram; // Send: the compact JSON text of the datagram
    QHostAddress address; // Send: where it goes
    quint16 port = 0; // Send: the player's command or sync port; Listen: the status port
    int count = 0; // Listen: stop after this many datagrams; 0 for no limit
    int timeoutMs = -1; // Listen: stop after this long; -1 for never
    QString error; // not empty when the arguments are unusable
    Broker broker; // set with --mqtt
    QString topic; // Send: where the datagram is published; Listen: the filter
    QString screen; // Screenshot: the screen's identifier
    QString output; // Screenshot: the file written
    bool json = false; // Fleet: JSON rather than a table
};

// `arguments` excludes the program name; `id` fills the "id" of command datagrams
// unless --id is given.
Request parse(const QStringList& arguments, const QString& id);

QString usage();

// One line of `listen` output: the sender and the datagram, as compact JSON.
QByteArray statusLine(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);

// The broker's side of a run (mqttremote.cpp): exit statuses as for UDP.
int mqttSend(const Request& request);
int mqttListen(const Request& request);
int mqttFleet(const Request& request);
int mqttScreenshot(const Request& request);

} // namespace remote
