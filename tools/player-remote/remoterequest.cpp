// SPDX-License-Identifier: GPL-2.0-or-later
#include "remoterequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

namespace remote {

namespace {

    // Which options each command takes, besides --help.
    const QMap<QString, QStringList>& optionsByCommand()
    {
        static const QStringList target { "--to", "--device", "--id" };
        static const QMap<QString, QStringList> options {
            { "next", target },
            { "previous", target },
            { "pause", target },
            { "resume", target },
            { "play", target + QStringList { "--schedule" } },
            { "notify", target + QStringList { "--level" } },
            { "sync", { "--to", "--host", "--port", "--device" } },
            { "syncing", { "--to" } },
            { "syncing-end", { "--to" } },
            { "listen", { "--count", "--timeout" } },
            { "fleet", { "--json", "--timeout" } },
            { "screenshot", { "-o", "--timeout" } },
        };
        return options;
    }

    const QMap<QString, QString>& commandNames()
    {
        static const QMap<QString, QString> names {
            { "next", "player_next" },
            { "previous", "player_previous" },
            { "pause", "player_pause" },
            { "resume", "player_resume" },
            { "play", "player_play" },
            { "notify", "player_notification" },
        };
        return names;
    }

    // Taken by every command: the broker to go through instead of the LAN.
    const QStringList brokerOptions { "--mqtt", "--prefix", "--username", "--password", "--tls", "--cafile" };
    // Options that stand alone, without a value.
    const QStringList flags { "--tls", "--json" };

    bool isDecimal(const QString& text)
    {
        if (text.isEmpty())
            return false;
        for (const QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        return true;
    }

    Request failure(const QString& message)
    {
        Request request;
        request.error = message;
        return request;
    }

} // namespace

Request parse(const QStringList& arguments, const QString& id)
{
    QString command;
    QStringList positional;
    QMap<QString, QString> options;
    static const QSet<QString> known { "--to", "--device", "--id", "--schedule", "--level", "--host", "--port",
        "--count", "--timeout", "--mqtt", "--prefix", "--username", "--password", "--tls", "--cafile", "--json", "-o" };

    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h")))
            return Request();
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true; // a banner text may itself begin with dashes
        } else if (!optionsEnded && (argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-o"))) {
            QString name = argument;
            QString value;
            const int equals = argument.indexOf(QLatin1Char('='));
            if (equals >= 0) {
                name = argument.left(equals);
                value = argument.mid(equals + 1);
            } else if (flags.contains(name)) {
                value = QStringLiteral("true");
            } else if (known.contains(name)) {
                if (i + 1 >= arguments.size())
                    return failure(QStringLiteral("%1 needs a value").arg(name));
                value = arguments.at(++i);
            }
            if (!known.contains(name))
                return failure(QStringLiteral("unknown option %1").arg(name));
            if (options.contains(name))
                return failure(QStringLiteral("%1 given twice").arg(name));
            options.insert(name, value);
        } else if (command.isEmpty()) {
            command = argument;
        } else {
            positional << argument;
        }
    }

    if (command.isEmpty())
        return failure(QStringLiteral("no command given"));
    if (!optionsByCommand().contains(command))
        return failure(QStringLiteral("unknown command \"%1\"").arg(command));
    for (auto it = options.begin(); it != options.end(); ++it) {
        if (!optionsByCommand().value(command).contains(it.key()) && !brokerOptions.contains(it.key()))
            return failure(QStringLiteral("%1 does not apply to %2").arg(it.key(), command));
    }
    const int wanted = command == QLatin1String("notify") || command == QLatin1String("screenshot") ? 1 : 0;
    if (positional.size() < wanted)
        return failure(command == QLatin1String("notify") ? QStringLiteral("notify needs the banner text")
                                                          : QStringLiteral("screenshot needs the screen's identifier"));
    if (positional.size() > wanted)
        return failure(QStringLiteral("unexpected argument \"%1\"").arg(positional.at(wanted)));

    Request request;
    if (options.contains("--mqtt")) {
        const QString broker = options.value("--mqtt");
        request.broker.tls = options.contains("--tls");
        request.broker.port = request.broker.tls ? 8883 : 1883;
        const int colon = broker.lastIndexOf(QLatin1Char(':'));
        const bool hasPort = colon > 0 && broker.count(QLatin1Char(':')) == 1;
        request.broker.host = hasPort ? broker.left(colon) : broker;
        if (hasPort) {
            const QString port = broker.mid(colon + 1);
            if (!isDecimal(port) || port.toInt() < 1 || port.toInt() > 65535)
                return failure(QStringLiteral("--mqtt wants HOST or HOST:PORT, not \"%1\"").arg(broker));
            request.broker.port = port.toInt();
        }
        if (request.broker.host.isEmpty())
            return failure(QStringLiteral("--mqtt wants HOST or HOST:PORT, not \"%1\"").arg(broker));
        request.broker.prefix = options.value("--prefix", request.broker.prefix);
        if (request.broker.prefix.isEmpty() || request.broker.prefix.contains(QLatin1Char('+'))
            || request.broker.prefix.contains(QLatin1Char('#')))
            return failure(
                QStringLiteral("--prefix wants a topic without wildcards, not \"%1\"").arg(request.broker.prefix));
        request.broker.username = options.value("--username");
        request.broker.password = options.value("--password");
        request.broker.cafile = options.value("--cafile");
    } else {
        for (const QString& option : brokerOptions) {
            if (options.contains(option))
                return failure(QStringLiteral("%1 needs --mqtt").arg(option));
        }
        if (command == QLatin1String("fleet") || command == QLatin1String("screenshot"))
            return failure(QStringLiteral("%1 needs --mqtt").arg(command));
    }
    const QString prefix = request.broker.prefix + QLatin1Char('/');
    if (options.contains("--timeout")) {
        const QString timeout = options.value("--timeout");
        bool ok = false;
        const double seconds = timeout.toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400.0 * 24)
            return failure(QStringLiteral("--timeout wants a number of seconds above 0, not \"%1\"").arg(timeout));
        request.timeoutMs = qMax(1, int(seconds * 1000));
    }
    if (command == QLatin1String("fleet")) {
        request.action = Action::Fleet;
        request.json = options.contains("--json");
        return request;
    }
    if (command == QLatin1String("screenshot")) {
        request.action = Action::Screenshot;
        request.screen = positional.first();
        request.output = options.value("-o", request.screen + QStringLiteral(".jpg"));
        if (request.screen.isEmpty() || request.screen.contains(QLatin1Char('/'))
            || request.screen.contains(QLatin1Char('+')) || request.screen.contains(QLatin1Char('#')))
            return failure(QStringLiteral("\"%1\" is no screen identifier").arg(request.screen));
        return request;
    }
    if (command == QLatin1String("listen")) {
        request.action = Action::Listen;
        request.port = statusPort;
        if (options.contains("--count")) {
            const QString count = options.value("--count");
            bool ok = false;
            request.count = count.toInt(&ok);
            if (!isDecimal(count) || !ok || request.count < 1)
                return failure(QStringLiteral("--count wants a whole number above 0, not \"%1\"").arg(count));
        }
        request.topic = prefix + QStringLiteral("+/event");
        return request;
    }

    request.action = Action::Send;
    const QString to = options.value("--to", QStringLiteral("255.255.255.255"));
    if (request.broker.host.isEmpty() && !request.address.setAddress(to))
        return failure(QStringLiteral("--to wants an IP address, not \"%1\"").arg(to));
    // Over a broker --to names a screen; a command without one goes to every screen.
    const QString screen = options.value("--to");
    if (!request.broker.host.isEmpty()
        && (screen.contains(QLatin1Char('/')) || screen.contains(QLatin1Char('+'))
            || screen.contains(QLatin1Char('#'))))
        return failure(QStringLiteral("--to wants a screen identifier, not \"%1\"").arg(screen));

    QJsonObject datagram;
    if (commandNames().contains(command)) {
        request.port = commandPort;
        request.topic = prefix + (screen.isEmpty() ? QString() : screen + QLatin1Char('/')) + QStringLiteral("command");
        datagram.insert("cmd", commandNames().value(command));
        datagram.insert("id", options.value("--id", id));
        datagram.insert("device_id", options.value("--device"));
        if (options.contains("--schedule"))
            datagram.insert("schedule_id", options.value("--schedule"));
        if (command == QLatin1String("notify")) {
            datagram.insert("text", positional.first());
            if (options.contains("--level")) {
                const QString level = options.value("--level").toUpper();
                if (level != QLatin1String("INFO") && level != QLatin1String("WARNING")
                    && level != QLatin1String("ALERT"))
                    return failure(QStringLiteral("--level wants INFO, WARNING or ALERT, not \"%1\"")
                                       .arg(options.value("--level")));
                datagram.insert("notification_level", level);
            }
        }
    } else {
        request.port = syncPort;
        if (!request.broker.host.isEmpty() && screen.isEmpty())
            return failure(QStringLiteral("%1 over a broker needs --to SCREEN").arg(command));
        request.topic = prefix + screen + QStringLiteral("/sync");
        if (command == QLatin1String("sync")) {
            datagram.insert("action", "sync");
            // Absent keys mean something to the player (no host: the settings file's;
            // no device: accept every command), so only what was asked for is sent.
            if (options.contains("--host"))
                datagram.insert("host", options.value("--host"));
            if (options.contains("--port")) {
                const QString port = options.value("--port");
                if (!isDecimal(port) || port.toInt() < 1 || port.toInt() > 65535)
                    return failure(QStringLiteral("--port wants a port number, not \"%1\"").arg(port));
                datagram.insert("port", port);
            }
            if (options.contains("--device"))
                datagram.insert("deviceUid", options.value("--device"));
        } else {
            datagram.insert("action", command == QLatin1String("syncing") ? "syncing" : "syncingEnd");
        }
    }
    request.datagram = QJsonDocument(datagram).toJson(QJsonDocument::Compact);
    return request;
}

QString usage()
{
    return QStringLiteral(
        "Usage: player-remote [--to ADDRESS] [--mqtt HOST[:PORT]] COMMAND [OPTIONS]\n"
        "\n"
        "Remote control for a signage player on the local network.\n"
        "\n"
        "Commands (UDP port 8000):\n"
        "  next                          show the next composition\n"
        "  previous                      step back one composition\n"
        "  pause                         pause the sequence\n"
        "  resume                        resume the sequence\n"
        "  play [--schedule ID]          play schedule ID, or the default schedule again\n"
        "  notify TEXT [--level LEVEL]   show a banner; LEVEL is INFO (default), WARNING or ALERT\n"
        "    options: --device ID        the player's device identifier (\"device_id\"; default empty,\n"
        "                                which only players without an identifier accept)\n"
        "             --id ID            the datagram's \"id\" (default: a fresh UUID)\n"
        "\n"
        "Configuration (UDP port 9000):\n"
        "  sync [--host H] [--port P] [--device ID]\n"
        "                                set the server and device identifier, then restart;\n"
        "                                what is left out is cleared on the player\n"
        "  syncing                       show the \"Synchronizing...\" banner\n"
        "  syncing-end                   hide it\n"
        "\n"
        "Status (UDP port 8001):\n"
        "  listen [--count N] [--timeout S]\n"
        "                                print each status datagram as one JSON line with its\n"
        "                                sender; stop after N datagrams or S seconds (exit\n"
        "                                status 1 when S passes before N arrive)\n"
        "\n"
        "  --to ADDRESS                  where to send (default 255.255.255.255, every player\n"
        "                                on the local network); a player's own address or a\n"
        "                                subnet's broadcast address also work\n"
        "\n"
        "Through an MQTT broker instead of the local network:\n"
        "  --mqtt HOST[:PORT]            the broker (port 1883, 8883 with --tls); every command\n"
        "                                above works, --to then names a screen's identifier\n"
        "                                (commands without it go to every screen; sync needs it)\n"
        "  --prefix P                    the fleet's topic prefix (default player)\n"
        "  --username U --password W     the broker's credentials\n"
        "  --tls [--cafile FILE]         TLS, verified against FILE or the system's store\n"
        "  fleet [--json] [--timeout S]  every screen on the broker: identifier, online,\n"
        "                                composition, since, version\n"
        "  screenshot ID [-o FILE.jpg]   what screen ID shows, as JPEG (default ID.jpg)\n"
        "  --help, -h                    this text\n"
        "\n"
        "Options take their value as the next argument or after \"=\"; after \"--\" every\n"
        "argument is taken as it is (a banner text that begins with dashes). Exit status: 0 done,\n"
        "1 sending or listening failed, 2 bad arguments.\n");
}

QByteArray statusLine(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort)
{
    // The socket listens on IPv4 only, but keep a mapped address readable anyway.
    bool isIPv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIPv4);
    QJsonObject line { { "from", isIPv4 ? QHostAddress(ipv4).toString() : sender.toString() },
        { "port", int(senderPort) } };
    const QJsonDocument document = QJsonDocument::fromJson(datagram);
    if (document.isObject())
        line.insert("message", document.object());
    else
        line.insert("text", QString::fromUtf8(datagram));
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

} // namespace remote
