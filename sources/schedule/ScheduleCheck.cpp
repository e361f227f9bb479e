// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleCheck.h"

#include "ScheduleDocument.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QHash>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMutex>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <optional>

// Lines a person reads without -v: "schedule: error: schedule.sequences[0]...".
Q_LOGGING_CATEGORY(scheduleLog, "schedule")

namespace {

const QStringList& dayNames()
{
    static const QStringList names { QStringLiteral("Monday"), QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
        QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"), QStringLiteral("Sunday") };
    return names;
}

const QStringList& fillModes()
{
    static const QStringList names { QStringLiteral("Stretch"), QStringLiteral("PreserveAspectFit"),
        QStringLiteral("PreserveAspectCrop"), QStringLiteral("Tile"), QStringLiteral("TileVertically"),
        QStringLiteral("TileHorizontally"), QStringLiteral("Pad") };
    return names;
}

// What the scene's Number() makes of a value; NaN for what it cannot take.
double scriptNumber(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::Null:
        return 0;
    case QJsonValue::String: {
        const QString text = value.toString().trimmed();
        bool ok = text.isEmpty();
        const double number = ok ? 0 : text.toDouble(&ok);
        return ok ? number : std::nan("");
    }
    default:
        return std::nan("");
    }
}

bool isDate(const QJsonValue& value)
{
    const QString text = value.toString();
    return value.isString() && text.size() == 10 && QDate::fromString(text, QStringLiteral("yyyy-MM-dd")).isValid();
}

// "24:00:00" ends a window at midnight: every time of the day compares below it.
bool isTime(const QJsonValue& value, bool end)
{
    const QString text = value.toString();
    return value.isString()
        && ((text.size() == 8 && QTime::fromString(text, QStringLiteral("HH:mm:ss")).isValid())
            || (end && text == QLatin1String("24:00:00")));
}

bool isStream(const QString& source)
{
    static const QStringList schemes { QStringLiteral("rtsp"), QStringLiteral("rtsps"), QStringLiteral("rtp"),
        QStringLiteral("udp"), QStringLiteral("mms"), QStringLiteral("mmsh"), QStringLiteral("srt") };
    return schemes.contains(ScheduleDocument::schemeOf(source))
        || QRegularExpression(QStringLiteral("\\.(m3u8|sdp)(\\?|$)")).match(source).hasMatch();
}

// When an entry may play, in the terms the scene compares: a set of days and two
// string ranges (an empty bound is no limit).
struct Window {
    int days = 0; // bit per day name, Monday first
    QString fromDate, toDate, fromTime, toTime;
    bool overlaps(const Window& o) const
    {
        auto meet = [](const QString& a0, const QString& a1, const QString& b0, const QString& b1, bool endExclusive) {
            const QString start = std::max(a0, b0);
            const QString& end = a1.isEmpty() ? b1 : b1.isEmpty() ? a1 : std::min(a1, b1);
            return end.isEmpty() || (endExclusive ? start < end : start <= end);
        };
        return (days & o.days) && meet(fromDate, toDate, o.fromDate, o.toDate, false)
            && meet(fromTime, toTime, o.fromTime, o.toTime, true);
    }
};

class Checker {
public:
    QList<ScheduleCheck::Problem> problems;

    explicit Checker(const QString& address)
        : m_network(!address.isEmpty() && ScheduleDocument::schemeOf(address) != QLatin1String("file"))
    {
        // One evaluator for the process, the scene's own script, loaded on first use.
        static const struct Evaluator {
            QJSEngine* engine = new QJSEngine;
            QJSValue evaluate = ScheduleCheck::loadModule(*engine, QStringLiteral("expression")).property("evaluate");
            QJSValue scope
                = engine->evaluate(QStringLiteral("({ width: 1920, height: 1080, mainWindow: { width: "
                                                  "1920, height: 1080 }, stack: { width: 1920, height: 1080 } })"));
        } evaluator;
        m_engine = evaluator.engine;
        m_evaluate = evaluator.evaluate;
        m_scope = evaluator.scope;
    }

    void run(const QJsonObject& read)
    {
        const QJsonValue schedule = read.value(QLatin1String("schedule"));
        if (schedule.isObject()) {
            const QJsonValue sequences = schedule.toObject().value(QLatin1String("sequences"));
            if (!sequences.isArray()) {
                add(QStringLiteral("schedule.sequences"), shape(sequences, "an array") + ", nothing plays",
                    !sequences.isUndefined());
                return;
            }
            const QJsonArray list = sequences.toArray();
            for (int i = 0; i < list.size(); ++i)
                entry(list.at(i), QStringLiteral("schedule.sequences[%1]").arg(i), i);
            firstWins();
            return;
        }
        if (read.contains(QLatin1String("schedule")))
            add(QStringLiteral("schedule"), QStringLiteral("not an object, the objects form is read instead"));
        const QJsonValue objects = read.value(QLatin1String("objects"));
        if (!objects.isArray())
            return add(QStringLiteral("objects"), shape(objects, "an array") + ", nothing plays");
        sequenceContent(read, objects.toArray(), QString(), QStringLiteral("objects"));
    }

private:
    const bool m_network;
    QJSEngine* m_engine = nullptr;
    QJSValue m_evaluate;
    QJSValue m_scope;
    QList<std::pair<Window, int>> m_windows; // per entry that can play: its window and the element that holds
    QList<int> m_entryOf;

    void add(const QString& path, const QString& message, bool error = true)
    {
        problems.append({ path, message, error });
    }

    static QString shape(const QJsonValue& value, const char* expected)
    {
        return value.isUndefined() ? QStringLiteral("missing") : QStringLiteral("not ") + QLatin1String(expected);
    }

    void entry(const QJsonValue& value, const QString& path, int index)
    {
        if (!value.isObject())
            return add(path, QStringLiteral("not an object, the sequence is skipped"));
        const QJsonObject entry = value.toObject();
        const QJsonValue diffusion = entry.value(QLatin1String("diffusion"));
        const QJsonValue sequence = entry.value(QLatin1String("sequence"));
        if (!diffusion.isObject())
            return add(path + ".diffusion", shape(diffusion, "an object") + ", the sequence is skipped");
        if (!sequence.isObject())
            return add(path + ".sequence", shape(sequence, "an object") + ", the sequence is skipped");
        const std::optional<Window> window = diffusionRules(diffusion.toObject(), path + ".diffusion");
        const QJsonObject content = sequence.toObject();
        QJsonValue global = content.value(QLatin1String("global_properties"));
        if (!global.isObject())
            add(path + ".sequence.global_properties",
                shape(global, "an object") + ", elements use only their own values", false);
        const QJsonValue elements = content.value(QLatin1String("elements"));
        if (!elements.isArray())
            return add(path + ".sequence.elements", shape(elements, "an array") + ", the sequence shows nothing");
        const int holds = sequenceContent(
            global.toObject(), elements.toArray(), path + ".sequence.global_properties", path + ".sequence.elements");
        if (window && !elements.toArray().isEmpty()) {
            m_windows.append({ *window, holds });
            m_entryOf.append(index);
        }
    }

    // The window of an entry, none when it can never be selected.
    std::optional<Window> diffusionRules(const QJsonObject& diffusion, const QString& path)
    {
        Window window;
        const QJsonValue weekdays = diffusion.value(QLatin1String("weekdays"));
        if (!weekdays.isArray()) {
            add(path + ".weekdays",
                weekdays.isUndefined()
                    ? QStringLiteral("missing, the sequence never plays")
                    : ScheduleCheck::quoted(weekdays) + " is not a list of days, the sequence never plays",
                !weekdays.isUndefined());
        } else if (weekdays.toArray().isEmpty()) {
            add(path + ".weekdays", QStringLiteral("empty, the sequence never plays"), false);
        }
        const QJsonArray days = weekdays.toArray();
        for (int d = 0; d < days.size(); ++d) {
            const int day = dayNames().indexOf(days.at(d).toString());
            if (days.at(d) == QLatin1String("All"))
                window.days = 0x7f;
            else if (days.at(d).isString() && day >= 0)
                window.days |= 1 << day;
            else
                add(path + QStringLiteral(".weekdays[%1]").arg(d),
                    ScheduleCheck::quoted(days.at(d)) + " is not a weekday (" + dayNames().join(QLatin1String(", "))
                        + " or All)");
        }
        const bool dates = bounds(diffusion, path, "dates", "start_date", "end_date", window.fromDate, window.toDate);
        const bool hours = bounds(diffusion, path, "hours", "start_time", "end_time", window.fromTime, window.toTime);
        if (!window.days || !dates || !hours)
            return std::nullopt;
        return window;
    }

    // Checks a pair of bounds; false when no moment lies between them.
    bool bounds(const QJsonObject& diffusion, const QString& path, const char* member, const char* startName,
        const char* endName, QString& start, QString& end)
    {
        const QJsonValue value = diffusion.value(QLatin1String(member));
        const QString where = path + '.' + member;
        const bool date = QLatin1String(member) == QLatin1String("dates");
        if (!value.isObject()) {
            add(where, shape(value, "an object") + (date ? ", no date limit" : ", no time limit"), false);
            return true;
        }
        bool valid = true;
        for (const char* name : { startName, endName }) {
            const QJsonValue bound = value.toObject().value(QLatin1String(name));
            const bool isEnd = name == endName;
            (isEnd ? end : start) = bound.toString();
            if (bound.isUndefined() || bound.isNull())
                continue;
            if (date ? !isDate(bound) : !isTime(bound, isEnd)) {
                valid = false;
                add(where + '.' + name,
                    ScheduleCheck::quoted(bound)
                        + (date ? " is not a date (yyyy-MM-dd)" : " is not a time (HH:mm:ss, 24:00:00 for an end)"));
            }
        }
        if (valid && !start.isEmpty() && !end.isEmpty() && (date ? start > end : start >= end)) {
            add(where,
                QStringLiteral("%1 %2 is %3 %4 %5, the sequence never plays%6")
                    .arg(QLatin1String(startName), start, date ? "after" : "not before", QLatin1String(endName), end,
                        date || start == end ? "" : " (over midnight, it needs two sequences)"),
                false);
            return false;
        }
        return true;
    }

    // The elements of one sequence, with its defaults; the index of the first
    // element that never leaves the screen by itself, -1 when none.
    int sequenceContent(
        const QJsonObject& global, const QJsonArray& elements, const QString& globalPath, const QString& path)
    {
        const QString prefix = globalPath.isEmpty() ? QString() : globalPath + '.';
        const QJsonValue defaultDuration = global.value(QLatin1String("duration"));
        if (!defaultDuration.isUndefined() && std::isnan(scriptNumber(defaultDuration)))
            add(prefix + "duration", ScheduleCheck::quoted(defaultDuration) + " is not a duration in milliseconds");
        transitions(global.value(QLatin1String("transitions")), prefix + "transitions", true);
        if (elements.isEmpty())
            add(path, QStringLiteral("empty, the sequence shows nothing"), false);
        int holds = -1;
        for (int j = 0; j < elements.size(); ++j) {
            if (!element(elements.at(j), defaultDuration, path + QStringLiteral("[%1]").arg(j)) && holds < 0)
                holds = j;
        }
        return holds;
    }

    // False when the element, once on screen, never leaves by itself.
    bool element(const QJsonValue& value, const QJsonValue& defaultDuration, const QString& path)
    {
        if (!value.isObject()) {
            add(path, QStringLiteral("not an object, the element is skipped"));
            return true;
        }
        const QJsonObject element = value.toObject();
        const QJsonValue typeValue = element.value(QLatin1String("type"));
        const QString type = typeValue.toString();
        if (!typeValue.isString() || !ScheduleDocument::playableTypes().contains(type)) {
            add(path + ".type",
                (typeValue.isUndefined() ? QStringLiteral("missing,") : ScheduleCheck::quoted(typeValue))
                    + " is not a composition type (" + ScheduleDocument::playableTypes().join(QLatin1String(", "))
                    + ')');
            return true;
        }
        const QJsonValue attributes = element.value(QLatin1String("attributes"));
        if (!attributes.isObject()) {
            add(path + ".attributes", shape(attributes, "an object") + ", the element is skipped");
            return true;
        }
        const QJsonValue source = attributes.toObject().value(QLatin1String("source"));
        if (m_network && type != QLatin1String("PageBuilder") && !ScheduleDocument::refusal(element).isEmpty()) {
            add(path + ".attributes.source",
                ScheduleCheck::quoted(source)
                    + " is not a network address, the only kind a schedule from the network may name: the element "
                      "is skipped");
            return true;
        }
        if (source.isUndefined() || source.isNull())
            add(path + ".attributes.source", QStringLiteral("missing, the item shows only its background"), false);
        const QJsonValue fillMode = attributes.toObject().value(QLatin1String("fillMode"));
        if (type == QLatin1String("Image") && !fillMode.isUndefined() && !fillMode.isNull()
            && !fillModes().contains(fillMode.toString()))
            add(path + ".attributes.fillMode",
                ScheduleCheck::quoted(fillMode) + " is not a fill mode (" + fillModes().join(QLatin1String(", "))
                    + ')');
        transitions(element.value(QLatin1String("transitions")), path + ".transitions", false);

        const QJsonValue own = element.value(QLatin1String("duration"));
        const QJsonValue duration = own.isUndefined() ? defaultDuration : own;
        const double ms = scriptNumber(duration);
        if (!own.isUndefined() && (std::isnan(ms) || own.isNull())) {
            add(path + ".duration", ScheduleCheck::quoted(own) + " is not a duration in milliseconds");
            return false;
        }
        const bool videoEnd = type == QLatin1String("Video") && !own.isUndefined() && ms == 0;
        if (videoEnd && isStream(source.toString())) {
            add(path + ".duration", QStringLiteral("0 waits for the end of a stream, which may never come"), false);
            return false;
        }
        if (own.isUndefined() && !defaultDuration.isUndefined() && std::isnan(ms))
            return false; // the default's own line says why
        if (!videoEnd && !(ms > 0)) {
            add(path + ".duration",
                ScheduleCheck::quoted(duration) + (own.isUndefined() ? " (the sequence's default)" : "")
                    + " never ends this " + type + ": it stays until a remote \"next\" or a relaunch",
                false);
            return false;
        }
        return true;
    }

    void transitions(const QJsonValue& value, const QString& path, bool defaults)
    {
        if (value.isUndefined())
            return;
        if (!value.isObject())
            return add(path,
                QStringLiteral("not an object, ") + (defaults ? "no transition" : "the sequence's transitions apply"));
        for (const char* name : { "enter", "exit" }) {
            const QJsonValue part = value.toObject().value(QLatin1String(name));
            const QString where = path + '.' + name;
            if (part.isUndefined())
                continue;
            if (!part.isObject()) {
                add(where,
                    QStringLiteral("not an object, ") + (defaults ? "not animated" : "the sequence's part applies"));
                continue;
            }
            const QJsonObject p = part.toObject();
            const QJsonValue property = p.value(QLatin1String("property"));
            if (!property.isString() || property.toString().isEmpty())
                add(where + ".property", ScheduleCheck::quoted(property) + " is not a property name, not animated");
            const QJsonValue duration = p.value(QLatin1String("duration"));
            const double ms = scriptNumber(duration);
            if (duration.isNull() || !std::isfinite(ms) || ms < 0)
                add(where + ".duration",
                    ScheduleCheck::quoted(duration) + " is not a duration in milliseconds, not animated");
            for (const char* end : { "from", "to" }) {
                const QJsonValue v = p.value(QLatin1String(end));
                if (m_evaluate.isCallable()
                    && !m_evaluate.call({ m_engine->toScriptValue(v.toVariant()), m_scope }).isNumber())
                    add(where + '.' + end,
                        ScheduleCheck::quoted(v) + " is not a number or an expression the player evaluates");
            }
        }
    }

    // An entry that holds the screen keeps every other entry allowed with it waiting.
    void firstWins()
    {
        for (int a = 0; a < m_windows.size(); ++a) {
            for (int b = 0; b < m_windows.size(); ++b) {
                if (a != b && m_windows[a].second >= 0 && m_windows[a].first.overlaps(m_windows[b].first))
                    add(QStringLiteral("schedule.sequences[%1].diffusion").arg(m_entryOf[b]),
                        QStringLiteral("overlaps sequences[%1], whose element %2 never ends: while both may play, "
                                       "sequences[%1] always wins")
                            .arg(m_entryOf[a])
                            .arg(m_windows[a].second),
                        false);
            }
        }
    }
};

} // namespace

QString ScheduleCheck::Problem::line() const
{
    return (error ? QStringLiteral("error: ") : QStringLiteral("warning: ")) + path + QStringLiteral(": ") + message;
}

QList<ScheduleCheck::Problem> ScheduleCheck::check(const QJsonObject& read, const QString& address)
{
    Checker checker(address);
    checker.run(read);
    return checker.problems;
}

void ScheduleCheck::sayOutLoud(const QJsonObject& read, const QString& address)
{
    static QMutex mutex;
    static QHash<QString, QByteArray> told; // address -> digest of the document last told
    const QByteArray digest
        = QCryptographicHash::hash(QJsonDocument(read).toJson(QJsonDocument::Compact), QCryptographicHash::Sha1);
    {
        QMutexLocker lock(&mutex);
        if (told.value(address) == digest)
            return;
        if (told.size() >= 64) // addresses come from remote commands too: no unbounded memory
            told.clear();
        told.insert(address, digest);
    }
    for (const Problem& problem : check(read, address))
        qCWarning(scheduleLog).noquote() << problem.line();
}

QJSValue ScheduleCheck::loadModule(QJSEngine& engine, const QString& name)
{
    QFile file(QStringLiteral(":/js/%1.js").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return engine.evaluate(QStringLiteral("new Error('no script %1')").arg(name));
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QStringList names;
    static const QRegularExpression declaration(QStringLiteral("^(?:function|var) (\\w+)"));
    for (QString& line : lines) {
        const QString declared = declaration.match(line).captured(1);
        if (!declared.isEmpty())
            names << declared + QLatin1Char(':') + declared;
        if (line.startsWith(QLatin1Char('.'))) // .pragma and .import: the caller provides the imports
            line.clear();
    }
    return engine.evaluate(QStringLiteral("(function () {") + lines.join(QLatin1Char('\n'))
            + QStringLiteral("\nreturn {") + names.join(QLatin1Char(',')) + QStringLiteral("}; })()"),
        file.fileName());
}

QString ScheduleCheck::quoted(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringLiteral("undefined");
    const QByteArray json = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}
