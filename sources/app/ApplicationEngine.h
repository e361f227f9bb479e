// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QQmlApplicationEngine>
#include <QString>
#include <QStringList>
#include <QUrl>

class Spinner;
class RemoteCommands;
class ScheduleQRCode;
class IUdpSender;
class PlayLog;
class StatusScreen;
class FleetClient;

// Offers the scene one conversion it cannot do itself.
class Utils : public QObject {
    Q_OBJECT

public:
    explicit Utils(QObject* parent = nullptr);
    Q_INVOKABLE QUrl fromUserInput(const QString& userInput) const;
};

// The engine that owns the scene, the overlay models and the UDP objects for the
// life of the process. Everything here runs on the GUI thread.
class ApplicationEngine : public QQmlApplicationEngine {
    Q_OBJECT

public:
    ApplicationEngine();

    // The launch parameters from the process's arguments (CommandLine), which
    // main() has already found free of mistakes.
    void parseArguments();
    void initConfig();
    void emptyCache();
    void debug(const QString& text);

    Spinner* spinner() const { return m_spinner; }
    // The command and sync handlers that sync() and command() hand datagrams to.
    RemoteCommands* remoteCommands() const { return m_remote; }

    // Where a host of "localhost" finds its schedule. Fixed in the product;
    // tests point it at a file of their own instead of touching /etc.
    static QString localScheduleFile;

    // Where the scene is loaded from; tests may load a fixture scene instead.
    static QUrl sceneUrl;

public slots:
    // The UDP listeners' datagrams, passed on to remoteCommands().
    void sync(QString json);
    void command(QString json);
    void broadcastMessage(QString message);
    void showQrCode(QString value);
    void hideQrCode();

private slots:
    void noteDecoder();

private:
    QObject* sceneRoot() const;
    QObject* stackObject() const;
    void startFleet(QObject* reporter);

    Spinner* m_spinner = nullptr;
    ScheduleQRCode* m_qrCode = nullptr;
    IUdpSender* m_sender = nullptr;
    RemoteCommands* m_remote = nullptr;
    PlayLog* m_playLog = nullptr;
    StatusScreen* m_status = nullptr;
    FleetClient* m_fleet = nullptr;
};
