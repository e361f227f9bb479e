// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleTool.h"

#include "CommandLine.h"
#include "ScheduleDocument.h"
#include "ScheduleSource.h"
#include "ServerUrls.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QJsonArray>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <limits>
#include <memory>

namespace {

// The scene's scripts, driven the way its timers drive them.
const char* const driver = R"((function (F, sequences) {
    return {
        allowed: function (ms) {
            var now = new Date(ms);
            return sequences.filter(function (entry) { return F.diffusionAllows(entry, now); });
        },
        names: function (list) {
            return list.map(function (entry) { return "sequences[" + sequences.indexOf(entry) + "]"; }).join(", ");
        },
        mayPlay: function (place, ms) { return place !== null && F.diffusionAllows(place.sequence, new Date(ms)); },
        first: function (list) { return F.firstPlace(list); },
        after: function (list, place) { return F.placeAfter(list, place.sequence, place.index, null); },
        shown: function (place) {
            var element = F.elementsOf(place.sequence)[place.index];
            return { sequence: sequences.indexOf(place.sequence), index: place.index, type: "" + element.type,
                source: element.attributes.source === undefined ? "" : "" + element.attributes.source,
                interval: F.timerInterval(F.effectiveDuration(element, place.sequence)),
                videoEnd: element.type === "Video" && element.duration !== undefined && element.duration == 0 };
        }
    };
}))";

constexpr qint64 never = std::numeric_limits<qint64>::max();
constexpr qint64 clockInterval = 5000;
constexpr qint64 startDelay = 1000;
constexpr int maxSteps = 1000000;
constexpr int maxListed = 1000;
constexpr int maxProbes = 200;
constexpr int probeTimeout = 5000;

QString seconds(qint64 ms)
{
    return (ms % 1000 ? QString::number(ms / 1000.0, 'g', 12) : QString::number(ms / 1000)) + QStringLiteral(" s");
}

// The body at `address` (a file path or a file:, http: or https: address).
QByteArray fetch(const QString& address, QString* error)
{
    const QString scheme = ScheduleDocument::schemeOf(address);
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        QFile file(scheme == QLatin1String("file") ? QUrl(address).toLocalFile() : address);
        if (file.open(QIODevice::ReadOnly))
            return file.read(ScheduleSource::maxDocumentSize + 1);
        *error = file.errorString();
        return QByteArray();
    }
    QNetworkAccessManager network;
    QNetworkRequest request { QUrl(address) };
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(ScheduleSource::requestTimeout);
    std::unique_ptr<QNetworkReply> reply(network.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError)
        *error = status ? QStringLiteral("HTTP %1").arg(status) : reply->errorString();
    return reply->read(ScheduleSource::maxDocumentSize + 1);
}

// How the server answers for `url`: "" when it serves it, else the reason.
QString probe(QNetworkAccessManager& network, const QString& url, bool head = true)
{
    QNetworkRequest request { QUrl(url) };
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(probeTimeout);
    std::unique_ptr<QNetworkReply> reply(head ? network.head(request) : network.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0 && !reply->isFinished())
        loop.exec(); // a redirect: the final answer follows
    const int final = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->abort();
    if (head && (final == 405 || final == 501))
        return probe(network, url, false);
    if (final >= 200 && final < 400)
        return QString();
    return final ? QStringLiteral("answers HTTP %1").arg(final)
                 : QStringLiteral("does not answer (%1)").arg(reply->errorString());
}

QString line(const QDateTime& at, const QString& text)
{
    return QLocale::c().toString(at, QStringLiteral("ddd yyyy-MM-dd HH:mm:ss t  ")) + text + QLatin1Char('\n');
}

} // namespace

QList<ScheduleCheck::Problem> ScheduleTool::mediaProblems(
    const QJsonObject& read, const QString& address, const QString& hostPort)
{
    const bool local = ScheduleDocument::schemeOf(address) == QLatin1String("file");
    QList<ScheduleCheck::Problem> problems;
    QHash<QString, QString> answers;
    QNetworkAccessManager network;
    const bool serverKnown = !hostPort.startsWith(QLatin1Char(':'));
    auto element = [&](const QJsonValue& value, const QString& path) {
        const QString type = value[QLatin1String("type")].toString();
        const QJsonValue source = value[QLatin1String("attributes")][QLatin1String("source")];
        if (!source.isString() || type == QLatin1String("RtspStream")
            || !ScheduleDocument::playableTypes().contains(type))
            return;
        const QString text = source.toString();
        // What the item loads, as the document's intake and the item make it.
        const QString url = type == QLatin1String("PageBuilder") ? ServerUrls::pageBuilder(hostPort, text)
            : local                                              ? ServerUrls::localSource(address, text)
                                                                 : ServerUrls::media(hostPort, text);
        const QString scheme = ScheduleDocument::schemeOf(url);
        QString answer;
        if (scheme == QLatin1String("file")) {
            if (!QFileInfo(QUrl(url).toLocalFile()).isFile())
                answer = QStringLiteral(": no such file");
        } else if ((scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            && (serverKnown || url == text)) {
            if (!answers.contains(url) && answers.size() < maxProbes)
                answers.insert(url, probe(network, url));
            answer = answers.value(url);
        }
        if (!answer.isEmpty())
            problems.append({ path + QStringLiteral(".attributes.source"),
                text + (answer.startsWith(QLatin1Char(':')) ? answer : QLatin1Char(' ') + answer), true });
    };
    auto elements = [&](const QJsonValue& list, const QString& path) {
        const QJsonArray array = list.toArray();
        for (int j = 0; j < array.size(); ++j)
            element(array.at(j), path + QStringLiteral("[%1]").arg(j));
    };
    if (!read.value(QLatin1String("schedule")).isObject())
        elements(read.value(QLatin1String("objects")), QStringLiteral("objects"));
    const QJsonArray sequences = read[QLatin1String("schedule")][QLatin1String("sequences")].toArray();
    for (int i = 0; i < sequences.size(); ++i)
        elements(sequences.at(i)[QLatin1String("sequence")][QLatin1String("elements")],
            QStringLiteral("schedule.sequences[%1].sequence.elements").arg(i));
    return problems;
}

QString ScheduleTool::simulate(
    const QJsonObject& read, const QString& address, const QString& hostPort, const Simulation& simulation)
{
    const QJsonObject document = ScheduleDocument::intake(read, address, hostPort, nullptr);
    QJSEngine engine;
    const QJSValue functions = ScheduleCheck::loadModule(engine, QStringLiteral("functions"));
    const QJSValue sequences = engine.toScriptValue(
        document[QLatin1String("schedule")][QLatin1String("sequences")].toArray().toVariantList());
    QJSValue scene = engine.evaluate(QLatin1String(driver)).call({ functions, sequences });
    if (functions.isError() || scene.isError())
        return QStringLiteral("the scene's scripts cannot be loaded: ") + functions.toString() + scene.toString();
    auto call = [&scene](const char* name, const QJSValueList& args) { return scene.property(name).call(args); };
    auto at = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms); };

    QString out;
    qint64 t = simulation.from.toMSecsSinceEpoch();
    const qint64 end = t + simulation.span;
    QJSValue list = call("allowed", { double(t) });
    QString names = call("names", { list }).toString();
    out += line(at(t), QStringLiteral("load, sequences allowed: ") + (names.isEmpty() ? "none" : names));
    qint64 startAt = t + startDelay, tickAt = never, advanceAt = never;
    qint64 listUntil = t + qint64(simulation.listedHours) * 3600000;
    int listed = 0;
    QJSValue place(QJSValue::NullValue);
    bool toldEmpty = false;
    int onScreen = -1;
    for (int step = 0; step < maxSteps; ++step) {
        t = std::min({ startAt, tickAt, advanceAt });
        if (t >= end)
            return out;
        if (t == tickAt) { // the clock: the list of the moment, and a new start when the one on screen may not play
            tickAt += clockInterval;
            const QJSValue fresh = call("allowed", { double(t) });
            const QString freshNames = call("names", { fresh }).toString();
            if (freshNames != names) {
                out += line(
                    at(t), QStringLiteral("sequences allowed: ") + (freshNames.isEmpty() ? "none" : freshNames));
                listUntil = t + qint64(simulation.listedHours) * 3600000;
                listed = 0;
                toldEmpty = false;
            }
            list = fresh;
            names = freshNames;
            if (!call("mayPlay", { place, double(t) }).toBool()) {
                if (!place.isNull())
                    out += line(at(t),
                        QStringLiteral("sequences[%1] may no longer play: black, a new start in 1 s").arg(onScreen));
                place = QJSValue(QJSValue::NullValue);
                advanceAt = never;
                startAt = t + startDelay;
            }
            continue;
        }
        if (t == startAt) {
            startAt = never;
            tickAt = tickAt == never ? t + clockInterval : tickAt;
            place = call("first", { list });
            if (place.isNull() && !toldEmpty)
                out += line(at(t), QStringLiteral("nothing to play: black"));
            toldEmpty = place.isNull();
            if (place.isNull())
                continue;
        } else {
            place = call("after", { list, place });
        }
        const QJSValue shown = call("shown", { place });
        onScreen = shown.property("sequence").toInt();
        const qint64 interval = qint64(shown.property("interval").toNumber());
        const bool videoEnd = interval <= 0 && shown.property("videoEnd").toBool();
        advanceAt = interval > 0 ? t + interval : videoEnd ? t + simulation.videoSeconds * 1000 : never;
        if (t < listUntil && listed == maxListed)
            out += QStringLiteral("  ... (%1 compositions listed; the next change of the list lists more)\n")
                       .arg(maxListed);
        if (t < listUntil && listed++ < maxListed)
            out += line(at(t),
                QStringLiteral("  sequences[%1] element %2: %3 %4, %5")
                    .arg(shown.property("sequence").toInt())
                    .arg(shown.property("index").toInt())
                    .arg(shown.property("type").toString(), shown.property("source").toString(),
                        interval > 0   ? seconds(interval)
                            : videoEnd ? QStringLiteral("until its end (taken as %1 s)").arg(simulation.videoSeconds)
                                       : QStringLiteral("until a relaunch")));
    }
    return out + QStringLiteral("stopped: more than %1 changes\n").arg(maxSteps);
}

int ScheduleTool::run(int argc, char** argv, const CommandLine& commandLine)
{
    const auto option = [&commandLine](const char* name) { return commandLine.value(QLatin1String(name)); };
    const bool simulating = commandLine.isSet(QStringLiteral("simulate"));
    QCoreApplication application(argc, argv);
    QTextStream out(stdout), err(stderr);
    // Host and port as playback takes them: the command line, else player.ini.
    QString hostPort = ServerUrls::hostPort(option("host"), option("port"), QStringLiteral("player.ini"));
    const QString source = option(simulating ? "simulate" : "check");
    const QUrl url(source);
    if (hostPort.startsWith(QLatin1Char(':')) && url.scheme().startsWith(QLatin1String("http")))
        hostPort = url.host() + QLatin1Char(':') + QString::number(url.port(80));
    QString error;
    const QByteArray body = fetch(source, &error);
    const QJsonObject read = error.isEmpty() ? ScheduleSource::readDocument(body, &error) : QJsonObject();
    if (!error.isEmpty()) {
        err << "player: " << source << ": " << error << '\n';
        return 2;
    }
    const QString address = ScheduleDocument::schemeOf(source).isEmpty()
        ? QUrl::fromLocalFile(QFileInfo(source).absoluteFilePath()).toString()
        : source;
    if (simulating) {
        Simulation simulation;
        simulation.from = commandLine.isSet(QStringLiteral("from"))
            ? QDateTime::fromString(option("from"), QStringLiteral("yyyy-MM-ddTHH:mm"))
            : QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
        simulation.span = qint64(commandLine.isSet(QStringLiteral("days")) ? option("days").toInt() : 1) * 86400000;
        simulation.listedHours = commandLine.isSet(QStringLiteral("hours")) ? option("hours").toInt() : 1;
        simulation.videoSeconds = commandLine.isSet(QStringLiteral("video")) ? option("video").toInt() : 30;
        out << simulate(read, address, hostPort, simulation);
        return 0;
    }
    const QList<ScheduleCheck::Problem> problems
        = ScheduleCheck::check(read, address) + mediaProblems(read, address, hostPort);
    bool errors = false;
    for (const ScheduleCheck::Problem& problem : problems) {
        out << problem.line() << '\n';
        errors = errors || problem.error;
    }
    return errors ? 1 : 0;
}
