// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApplicationEngine.h"

#include "CommandLine.h"
#include "CompositionReporter.h"
#include "FleetClient.h"
#include "FramePacer.h"
#include "IUdpListener.h"
#include "IUdpSender.h"
#include "PlayLog.h"
#include "RemoteAllowList.h"
#include "RemoteCommands.h"
#include "ScheduleQRCode.h"
#include "ScheduleSource.h"
#include "ScreenSettings.h"
#include "ServerTrust.h"
#include "ServerUrls.h"
#include "Spinner.h"
#include "StatusScreen.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QQmlContext>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>

QString ApplicationEngine::localScheduleFile = QStringLiteral("/etc/tavo/tavo_player.json");
QUrl ApplicationEngine::sceneUrl = QUrl(QStringLiteral("qrc:/quickwindow.qml"));

Utils::Utils(QObject* parent)
    : QObject(parent)
{
}

QUrl Utils::fromUserInput(const QString& userInput) const
{
    const QFileInfo info(userInput);
    if (info.exists())
        return QUrl::fromLocalFile(info.absoluteFilePath());
    return QUrl::fromUserInput(userInput);
}

namespace {

QString launchText(const char* name)
{
    const QVariant value = qApp->property(name);
    return value.isValid() ? value.toString() : QString();
}

} // namespace

ApplicationEngine::ApplicationEngine()
    : QQmlApplicationEngine(nullptr)
{
    m_spinner = new Spinner();
    rootContext()->setContextProperty(QStringLiteral("spinner"), m_spinner);
    m_qrCode = new ScheduleQRCode();
    rootContext()->setContextProperty(QStringLiteral("qrCode"), m_qrCode);
    rootContext()->setContextProperty(QStringLiteral("applicationEngine"), this);
    m_status = new StatusScreen(StatusScreen::enabledFromSettings(), this);
    rootContext()->setContextProperty(QStringLiteral("statusScreen"), m_status);

    parseArguments();
    rootContext()->setContextProperty(QStringLiteral("screenSettings"), ScreenSettings::fromLaunch(this));

    // The listeners live as long as the process and are reached only through
    // their signal connections below.
    auto* syncListener = new IUdpListener(QStringLiteral("*"), QStringLiteral("9000"));
    syncListener->generate();
    auto* commandListener = new IUdpListener(QStringLiteral("*"), QStringLiteral("8000"));
    commandListener->generate();
    const RemoteAllowList allow = RemoteAllowList::fromSettings(QStringLiteral("player.ini"));
    for (const QString& entry : allow.rejectedEntries())
        qWarning() << "player.ini: [remote] allow entry" << entry << "is neither an address nor a network";
    syncListener->setAllowList(allow);
    commandListener->setAllowList(allow);

    // The datagram protocol; a sync answers here by loading the schedule anew.
    m_remote = new RemoteCommands(
        m_spinner, qApp, [this] { return stackObject(); }, this);
    connect(m_remote, &RemoteCommands::configurationChanged, this, &ApplicationEngine::initConfig);

    rootContext()->setContextProperty(QStringLiteral("utils"), new Utils(this));

    // Off unless asked for; the reporter tells it of the scene's changes whether it is on or not.
    m_playLog = new PlayLog(this);
    m_playLog->configure(qApp->property("playLog"));

    QString scheme;
    if (!ServerUrls::schemeFromSettings(QStringLiteral("player.ini"), &scheme))
        qWarning() << "player.ini: [json] scheme is neither http nor https: http is used";
    ServerUrls::setScheme(scheme);
    QString trustError;
    const QString cafile = ServerTrust::cafileFromSettings(QStringLiteral("player.ini"));
    if (!cafile.isEmpty() && !ServerTrust::trust(cafile, &trustError))
        qWarning().noquote() << "player.ini: [json] cafile:" << trustError;

    load(sceneUrl);
    auto* reporter = new CompositionReporter(m_playLog, this);
    reporter->watch(sceneRoot());
    connect(reporter, &CompositionReporter::message, this, &ApplicationEngine::broadcastMessage);
    startFleet(reporter);
    m_status->watch(sceneRoot());
    // Remote commands are answered from the GUI thread: it must not sit waiting
    // for the render thread to finish a frame while a datagram is queued.
    if (auto* window = qobject_cast<QQuickWindow*>(sceneRoot()))
        new FramePacer(window);
    emptyCache();
    initConfig();

    connect(syncListener, &IUdpListener::dataReceived, this, &ApplicationEngine::sync);
    connect(commandListener, &IUdpListener::dataReceived, this, &ApplicationEngine::command);

    m_sender = new IUdpSender(QStringLiteral("*"), 8001);
    m_sender->connect();
}

void ApplicationEngine::parseArguments() { CommandLine::parse(QCoreApplication::arguments()).apply(qApp); }

// Off unless [mqtt] broker= is set. The fleet hears the status datagrams the LAN
// hears, and its commands and syncs go where the UDP ports' go.
void ApplicationEngine::startFleet(QObject* reporter)
{
    const FleetSettings settings = FleetSettings::fromFile(QStringLiteral("player.ini"));
    for (const QString& problem : settings.problems)
        qWarning().noquote() << "player.ini:" << problem;
    if (!settings.enabled)
        return;
    m_fleet = new FleetClient(settings, this);
    m_fleet->setWindow(qobject_cast<QQuickWindow*>(sceneRoot()));
    m_fleet->watchSchedule(sceneRoot() ? sceneRoot()->findChild<ScheduleSource*>() : nullptr);
    // The decoder of what came on screen (none for a picture or a page); queued,
    // because the scene announces a composition just before it pushes its item.
    connect(reporter, SIGNAL(message(QString)), this, SLOT(noteDecoder()), Qt::QueuedConnection);
    connect(reporter, SIGNAL(message(QString)), m_fleet, SLOT(statusMessage(QString)));
    connect(m_fleet, &FleetClient::command, this, &ApplicationEngine::command);
    connect(m_fleet, &FleetClient::sync, this, &ApplicationEngine::sync);
}

void ApplicationEngine::debug(const QString& text)
{
    if (qApp->property("bDebug") == QVariant(true))
        qDebug() << text;
}

QObject* ApplicationEngine::sceneRoot() const
{
    const auto roots = rootObjects();
    return roots.isEmpty() ? nullptr : roots.first();
}

void ApplicationEngine::noteDecoder()
{
    QObject* stack = stackObject();
    QObject* item = stack ? stack->property("currentItem").value<QObject*>() : nullptr;
    // A video still waiting for its first picture names its decoder later.
    if (item && item->metaObject()->indexOfSignal("decoderChanged()") >= 0)
        connect(item, SIGNAL(decoderChanged()), this, SLOT(noteDecoder()), Qt::UniqueConnection);
    m_fleet->setDecoder(item ? item->property("decoder").toString() : QString());
}

QObject* ApplicationEngine::stackObject() const
{
    QObject* root = sceneRoot();
    return root ? root->findChild<QObject*>(QStringLiteral("stack")) : nullptr;
}

void ApplicationEngine::initConfig()
{
    debug(QStringLiteral("FUNCTION - initConfig - BEGIN"));

    const QString launchHost = launchText("host");
    const QString launchPort = launchText("port");
    const QString startDate = launchText("startDate");
    const QString endDate = launchText("endDate");
    const QString deviceUid = launchText("deviceUid");

    const QString hostPort = ServerUrls::hostPort(launchHost, launchPort, QStringLiteral("player.ini"));

    rootContext()->setContextProperty(QStringLiteral("deviceUID"), deviceUid);
    m_status->setDeviceUid(deviceUid);
    if (m_fleet)
        m_fleet->setIdentifier(deviceUid.isEmpty() ? QHostInfo::localHostName() : deviceUid);
    rootContext()->setContextProperty(QStringLiteral("hostPort"), hostPort);

    QString source;
    const QVariant jsonFile = qApp->property("jsonFile");
    if (jsonFile.isValid()) {
        source = QUrl::fromLocalFile(jsonFile.toString()).toString();
    } else if (hostPort.startsWith(QLatin1String("localhost:")) && QFileInfo(localScheduleFile).isFile()) {
        source = QUrl::fromLocalFile(localScheduleFile).toString();
    } else {
        source = ServerUrls::deviceSchedule(hostPort, deviceUid, startDate, endDate);
    }
    debug(QStringLiteral("FUNCTION - initConfig :") + source);

    // A scene that failed to load has no root object: there is nobody to hand the source to.
    if (QObject* root = sceneRoot()) {
        QMetaObject::invokeMethod(root, "load", Q_ARG(QVariant, source), Q_ARG(QVariant, hostPort),
            Q_ARG(QVariant, qApp->property("bDebug")));
    }

    debug(QStringLiteral("FUNCTION - initConfig - END"));
}

void ApplicationEngine::emptyCache()
{
    debug(QStringLiteral("FUNCTION - emptyCache - BEGIN"));
    const QString dirPath = QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QStringLiteral("/QtWebEngine/Default/Cache/");
    debug(QStringLiteral("FUNCTION - BEGIN - dirPath:") + dirPath);

    QDir dir(dirPath);
    const auto entries
        = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (!entry.isDir())
            dir.remove(entry.fileName());
    }
    debug(QStringLiteral("FUNCTION - emptyCache - END"));
}

void ApplicationEngine::command(QString json) { m_remote->command(json); }

void ApplicationEngine::sync(QString json) { m_remote->sync(json); }

void ApplicationEngine::broadcastMessage(QString message)
{
    if (!m_sender)
        return;
    if (!m_sender->isConnected())
        m_sender->connect();
    m_sender->sendMessage(message);
}

void ApplicationEngine::showQrCode(QString value) { m_qrCode->show(value); }

void ApplicationEngine::hideQrCode() { m_qrCode->hide(); }
