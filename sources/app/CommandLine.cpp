// SPDX-License-Identifier: GPL-2.0-or-later
#include "CommandLine.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QObject>
#include <QUrl>
#include <QVariant>

#include <cstdio>

namespace {

QString refuse(QString* error, const char* why)
{
    *error = QString::fromLatin1(why);
    return QString();
}

QString numberIn(const QString& value, int low, int high, QString* error, const char* why)
{
    bool ok = false;
    const int number = value.toInt(&ok, 10);
    return ok && number >= low && number <= high ? QString::number(number) : refuse(error, why);
}

QString port(const QString& value, QString* error)
{
    return numberIn(value, 1, 65535, error, "not a port number (1 to 65535)");
}

QString date(const QString& value, QString* error)
{
    return QDate::fromString(value, QStringLiteral("yyyy-MM-dd")).isValid() ? value
                                                                            : refuse(error, "not a date (yyyy-MM-dd)");
}

QString instant(const QString& value, QString* error)
{
    return QDateTime::fromString(value, QStringLiteral("yyyy-MM-ddTHH:mm")).isValid()
        ? value
        : refuse(error, "not a date and time (yyyy-MM-ddTHH:mm)");
}

QString days(const QString& value, QString* error)
{
    return numberIn(value, 1, 366, error, "not a number of days (1 to 366)");
}

QString hours(const QString& value, QString* error)
{
    return numberIn(value, 0, 8784, error, "not a number of hours (0 to 8784)");
}

QString seconds(const QString& value, QString* error)
{
    return numberIn(value, 1, 86400, error, "not a number of seconds (1 to 86400)");
}

QString rotation(const QString& value, QString* error)
{
    const QString kept = numberIn(value, 0, 270, error, "not 0, 90, 180 or 270");
    return error->isEmpty() && kept.toInt() % 90 != 0 ? refuse(error, "not 0, 90, 180 or 270") : kept;
}

QString something(const QString& value, QString* error) { return value.isEmpty() ? refuse(error, "empty") : value; }

// The schedule file, absolute: the scene reads it long after, from an address
// that has no working directory. A missing file would only ever show black.
QString scheduleFile(const QString& value, QString* error)
{
    const QString path = value.startsWith(QLatin1String("file:")) ? QUrl(value).toLocalFile() : value;
    if (path.isEmpty())
        return refuse(error, "empty");
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(error, "no such file");
    return info.isFile() ? info.absoluteFilePath() : refuse(error, "not a file");
}

const CommandLine::Option* find(const QString& name, QChar shortName)
{
    for (const CommandLine::Option& option : CommandLine::options()) {
        if (name.isEmpty() ? option.shortName != 0 && shortName == QLatin1Char(option.shortName)
                           : name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

// Whether an argument that follows a value option is an option rather than its
// value. A value may begin with "-" (a device named "-7"), unless it reads like
// one of the short options.
bool isOption(const QString& argument)
{
    if (argument.startsWith(QLatin1String("--")))
        return argument.size() > 2;
    return argument.size() == 2 && argument.at(0) == QLatin1Char('-') && find(QString(), argument.at(1));
}

QString form(const CommandLine::Option& option, bool shortForm)
{
    const QString value = QString::fromLatin1(option.valueName ? option.valueName : "");
    if (shortForm)
        return QStringLiteral("-%1").arg(QLatin1Char(option.shortName)) + (value.isEmpty() ? value : ' ' + value);
    return QStringLiteral("--") + QLatin1String(option.name) + (value.isEmpty() ? value : '=' + value);
}

const QString seeHelp = QStringLiteral(" (see player --help)");

} // namespace

const std::vector<CommandLine::Option>& CommandLine::options()
{
    // clang-format off
    static const std::vector<Option> table {
        { "host", 'h', "HOST", "signage server host", "host", nullptr },
        { "port", 'p', "PORT", "signage server port (1 to 65535)", "port", port },
        { "deviceUid", 'd', "ID", "this screen's device identifier", "deviceUid", nullptr },
        { "json", 0, "PATH", "play a local schedule file instead of the server's", "jsonFile", scheduleFile },
        { "startDate", 0, "yyyy-MM-dd", "ask the server for schedules from this date", "startDate", date },
        { "endDate", 0, "yyyy-MM-dd", "ask the server for schedules up to this date", "endDate", date },
        { "play-log", 0, "PATH", "proof-of-play log, one JSON line per composition", "playLog", nullptr },
        { "rotation", 0, "DEGREES", "rotate the picture clockwise: 0, 90, 180 or 270", "rotation", rotation },
        { "check", 0, "SOURCE", "check a schedule document and list its problems", "check", something },
        { "simulate", 0, "SOURCE", "print what a screen would play, from --from for --days", "simulate", something },
        { "from", 0, "yyyy-MM-ddTHH:mm", "with --simulate: the first moment", "from", instant },
        { "days", 0, "N", "with --simulate: the number of days (1 to 366)", "days", days },
        { "hours", 0, "N", "with --simulate: compositions listed N hours after each change (1)", "hours", hours },
        { "video", 0, "SECONDS", "with --simulate: how long a video that ends by itself lasts (30)", "video", seconds },
        { "verbose", 'v', nullptr, "debug output", nullptr, nullptr },
        { "help", 0, nullptr, "this usage text", nullptr, nullptr },
        { "version", 0, nullptr, "the player's version", nullptr, nullptr },
    };
    // clang-format on
    return table;
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    bool bareHostOption = false;
    const auto fail = [&result](const QString& line) {
        if (result.m_error.isEmpty())
            result.m_error = QStringLiteral("player: ") + line;
    };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool longForm = argument.startsWith(QLatin1String("--")) && argument.size() > 2;
        const int equals = longForm ? argument.indexOf(QLatin1Char('=')) : -1;
        const QString given = argument.left(equals); // the option as written, without its value
        const Option* option = longForm                                  ? find(given.mid(2), QChar())
            : argument.size() == 2 && argument.at(0) == QLatin1Char('-') ? find(QString(), argument.at(1))
                                                                         : nullptr;
        if (!option) {
            fail((argument.startsWith(QLatin1Char('-')) && argument.size() > 1 ? QStringLiteral("unknown option ")
                                                                               : QStringLiteral("unexpected argument "))
                + given + seeHelp);
            continue;
        }
        if (!option->valueName) {
            if (equals >= 0)
                fail(given + QStringLiteral(" takes no value") + seeHelp);
            else
                result.m_values.insert(QLatin1String(option->name), QStringLiteral("1"));
            continue;
        }
        QString value = argument.mid(equals + 1);
        QString shown = argument; // the option and its value, for a message
        if (equals < 0) {
            if (i + 1 == arguments.size() || isOption(arguments.at(i + 1))) {
                if (argument == QLatin1String("-h"))
                    bareHostOption = true;
                else
                    fail(given + QStringLiteral(" needs a value: ") + form(*option, !longForm) + seeHelp);
                continue;
            }
            value = arguments.at(++i);
            shown += ' ' + value;
        }
        QString problem;
        const QString kept = option->check ? option->check(value, &problem) : value;
        if (problem.isEmpty())
            result.m_values.insert(QLatin1String(option->name), kept);
        else
            fail(shown + QStringLiteral(": ") + problem);
    }
    if (result.isSet(QStringLiteral("help")) || bareHostOption)
        result.m_outcome = Help;
    else if (result.isSet(QStringLiteral("version")))
        result.m_outcome = Version;
    else if (!result.m_error.isEmpty())
        result.m_outcome = Error;
    return result;
}

void CommandLine::apply(QObject* target) const
{
    target->setProperty("bDebug", verbose());
    for (const Option& option : options()) {
        if (option.property && isSet(QLatin1String(option.name)))
            target->setProperty(option.property, value(QLatin1String(option.name)));
    }
}

QString CommandLine::usage()
{
    QStringList forms;
    int width = 0;
    for (const Option& option : options()) {
        forms << form(option, false) + (option.shortName ? QStringLiteral(", ") + form(option, true) : QString());
        width = std::max(width, int(forms.last().size()));
    }
    QString text = QStringLiteral("Usage: player [options]\n\n"
                                  "Plays the schedule of a signage server, or a local schedule file, full screen.\n\n"
                                  "Options:\n");
    for (size_t i = 0; i < options().size(); ++i)
        text += QStringLiteral("  ") + forms.at(int(i)).leftJustified(width + 2) + QLatin1String(options()[i].help)
            + '\n';
    text += QStringLiteral("\nA long option may also take its value from the next argument (--json sched.json).\n"
                           "Host and port not given here come from player.ini in the working directory; with host\n"
                           "localhost and no --json, /etc/tavo/tavo_player.json plays if it exists.\n");
    return text;
}

QString CommandLine::versionLine() { return QStringLiteral("player " PLAYER_VERSION); }

int CommandLine::answer() const
{
    if (m_outcome == Error) {
        std::fprintf(stderr, "%s\n", m_error.toLocal8Bit().constData());
        return 2;
    }
    if (m_outcome == Help || m_outcome == Version) {
        const QString text = m_outcome == Help ? usage() : versionLine() + '\n';
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
