// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleDocument.h"

#include "ScheduleCheck.h"
#include "ServerUrls.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cmath>
#include <functional>

namespace {

using Log = std::function<void(const QString&)>;

// The text the scene's scripts would make of a value with "" + value: the rules
// below were first written against that text and must keep judging the same way.
QString scriptText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Double: {
        const double number = value.toDouble();
        // Whole numbers as digits while they fit a qint64 exactly; the exponent form
        // beyond differs from a script's only for values no source holds.
        if (number == std::trunc(number) && std::abs(number) < 1e15)
            return QString::number(qint64(number));
        return QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    case QJsonValue::Array: {
        QStringList parts;
        for (const QJsonValue& item : value.toArray())
            parts.append(item.isNull() ? QString() : scriptText(item));
        return parts.join(QLatin1Char(','));
    }
    case QJsonValue::Object:
        return QStringLiteral("[object Object]");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

// The value as JSON, the way debug lines have always quoted it.
QString jsonText(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringLiteral("undefined");
    const QByteArray json = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QJsonObject oldFormEntry(const QJsonObject& read)
{
    QJsonObject global;
    for (const char* name : { "duration", "preloadDuration", "transitions" }) {
        if (read.contains(QLatin1String(name)))
            global.insert(QLatin1String(name), read.value(QLatin1String(name)));
    }
    const QJsonValue objects = read.value(QLatin1String("objects"));
    const QJsonObject sequence { { QStringLiteral("global_properties"), global },
        { QStringLiteral("elements"), objects.isArray() ? objects.toArray() : QJsonArray() } };
    const QJsonObject diffusion { { QStringLiteral("weekdays"), QJsonArray { QStringLiteral("All") } },
        { QStringLiteral("dates"), QJsonObject() }, { QStringLiteral("hours"), QJsonObject() } };
    return { { QStringLiteral("diffusion"), diffusion }, { QStringLiteral("sequence"), sequence } };
}

QJsonArray playableElements(const QJsonValue& elements, const QString& where, const Log& log)
{
    QJsonArray playable;
    const QJsonArray list = elements.toArray();
    for (int j = 0; j < list.size(); ++j) {
        const QJsonObject element = list.at(j).toObject();
        const QString what = where + QStringLiteral(" element ") + QString::number(j);
        const QJsonValue type = element.value(QLatin1String("type"));
        if (!list.at(j).isObject())
            log(what + QStringLiteral(" skipped: not an object"));
        else if (!type.isString() || !ScheduleDocument::playableTypes().contains(type.toString()))
            log(what + QStringLiteral(" skipped: unknown type ") + jsonText(type));
        else if (!element.value(QLatin1String("attributes")).isObject())
            log(what + QStringLiteral(" skipped: no attributes"));
        else
            playable.append(element);
    }
    return playable;
}

QJsonArray keepPlayableParts(const QJsonArray& entries, const Log& log)
{
    QJsonArray kept;
    for (int i = 0; i < entries.size(); ++i) {
        QJsonObject entry = entries.at(i).toObject();
        const QString where = QStringLiteral("FUNCTION - keepPlayableParts - sequence ") + QString::number(i);
        const QJsonObject diffusion = entry.value(QLatin1String("diffusion")).toObject();
        QJsonObject sequence = entry.value(QLatin1String("sequence")).toObject();
        if (!entries.at(i).isObject()) {
            log(where + QStringLiteral(" skipped: not an object"));
            continue;
        }
        if (!entry.value(QLatin1String("diffusion")).isObject()) {
            log(where + QStringLiteral(" skipped: no diffusion"));
            continue;
        }
        if (!entry.value(QLatin1String("sequence")).isObject()) {
            log(where + QStringLiteral(" skipped: no sequence"));
            continue;
        }
        if (!diffusion.value(QLatin1String("dates")).isObject())
            log(where + QStringLiteral(": no dates, no date limit"));
        if (!diffusion.value(QLatin1String("hours")).isObject())
            log(where + QStringLiteral(": no hours, no time limit"));
        if (!sequence.value(QLatin1String("global_properties")).isObject()) {
            log(where + QStringLiteral(": no global_properties, elements use only their own values"));
            sequence.insert(QStringLiteral("global_properties"), QJsonObject());
        }
        const QJsonValue elements = sequence.value(QLatin1String("elements"));
        if (!elements.isArray())
            log(where + QStringLiteral(": no elements"));
        sequence.insert(QStringLiteral("elements"), playableElements(elements, where, log));
        entry.insert(QStringLiteral("sequence"), sequence);
        kept.append(entry);
    }
    return kept;
}

// Applies `change` to every element (all objects by now); it returns false to drop one.
void forEachElement(QJsonArray& entries, const std::function<bool(int, int, QJsonObject&)>& change)
{
    for (int i = 0; i < entries.size(); ++i) {
        QJsonObject entry = entries.at(i).toObject();
        QJsonObject sequence = entry.value(QLatin1String("sequence")).toObject();
        const QJsonArray elements = sequence.value(QLatin1String("elements")).toArray();
        QJsonArray kept;
        for (int j = 0; j < elements.size(); ++j) {
            QJsonObject element = elements.at(j).toObject();
            if (change(i, j, element))
                kept.append(element);
        }
        sequence.insert(QStringLiteral("elements"), kept);
        entry.insert(QStringLiteral("sequence"), sequence);
        entries[i] = entry;
    }
}

} // namespace

QString ScheduleDocument::refusal(const QJsonObject& element)
{
    static const QStringList networkSchemes { QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("rtsp"),
        QStringLiteral("rtsps"), QStringLiteral("udp"), QStringLiteral("rtp") };
    const QJsonValue source = element.value(QLatin1String("attributes")).toObject().value(QLatin1String("source"));
    if (source.isUndefined() || source.isNull())
        return QString(); // the item shows only its background
    const QString type = element.value(QLatin1String("type")).toString();
    const QString text = scriptText(source);
    // What the item really loads: images and videos turn "/" paths into server addresses.
    const bool media = type == QLatin1String("Image") || type == QLatin1String("Video");
    const QString scheme
        = media && text.startsWith(QLatin1Char('/')) ? QStringLiteral("http") : ScheduleDocument::schemeOf(text);
    if (networkSchemes.contains(scheme))
        return QString();
    return (scheme.isEmpty() ? QStringLiteral("no scheme") : QStringLiteral("scheme \"") + scheme + QLatin1Char('"'))
        + QStringLiteral(" in a schedule from the network: ") + type + QLatin1Char(' ') + jsonText(source);
}

const QStringList& ScheduleDocument::playableTypes()
{
    static const QStringList types { QStringLiteral("Image"), QStringLiteral("Video"), QStringLiteral("WebView"),
        QStringLiteral("PageBuilder"), QStringLiteral("RtspStream") };
    return types;
}

QString ScheduleDocument::schemeOf(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.\\-]*):"));
    const QRegularExpressionMatch match = scheme.match(text.trimmed());
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

QJsonObject ScheduleDocument::intake(
    const QJsonObject& read, const QString& address, const QString& hostPort, QStringList* lines)
{
    const Log log = [lines](const QString& line) {
        if (lines)
            lines->append(line);
    };
    ScheduleCheck::sayOutLoud(read, address); // what is dropped or not honoured below, without -v
    QJsonObject schedule;
    const bool objectsForm = !read.value(QLatin1String("schedule")).isObject();
    if (objectsForm) {
        if (read.contains(QLatin1String("schedule")))
            log(QStringLiteral("FUNCTION - init - schedule is not an object, reading objects instead"));
        schedule.insert(QStringLiteral("sequences"), QJsonArray { oldFormEntry(read) });
    } else {
        schedule = read.value(QLatin1String("schedule")).toObject();
    }
    QJsonArray sequences = keepPlayableParts(schedule.value(QLatin1String("sequences")).toArray(), log);

    forEachElement(sequences, [&hostPort](int, int, QJsonObject& element) {
        QJsonObject attributes = element.value(QLatin1String("attributes")).toObject();
        const QJsonValue source = attributes.value(QLatin1String("source"));
        if (element.value(QLatin1String("type")).toString() == QLatin1String("PageBuilder") && !source.isUndefined()
            && !source.isNull()) {
            attributes.insert(QStringLiteral("source"), ServerUrls::pageBuilder(hostPort, scriptText(source)));
            element.insert(QStringLiteral("attributes"), attributes);
        }
        return true;
    });
    if (schemeOf(address) != QLatin1String("file")) {
        forEachElement(sequences, [&log](int i, int j, QJsonObject& element) {
            const QString reason = refusal(element);
            if (!reason.isEmpty())
                log(QStringLiteral("FUNCTION - dropLocalSources - sequence %1 element %2 skipped: ").arg(i).arg(j)
                    + reason);
            return reason.isEmpty();
        });
    } else {
        forEachElement(sequences, [&address](int, int, QJsonObject& element) {
            QJsonObject attributes = element.value(QLatin1String("attributes")).toObject();
            if (attributes.value(QLatin1String("source")).isString()) {
                attributes.insert(QStringLiteral("source"),
                    ServerUrls::localSource(address, attributes.value(QLatin1String("source")).toString()));
                element.insert(QStringLiteral("attributes"), attributes);
            }
            return true;
        });
    }
    schedule.insert(QStringLiteral("sequences"), sequences);
    QJsonObject document { { QStringLiteral("schedule"), schedule } };
    if (objectsForm)
        document.insert(QStringLiteral("objectsForm"), true);
    return document;
}
