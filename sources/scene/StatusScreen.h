// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Model of the screen shown instead of black while the player has never had
// anything to show: who it is, what it asks for, why that failed and where to
// reach it, so that an installer sees what is wrong. Once a document was taken
// or a composition shown it is gone for good: from then on an empty schedule
// slot is black as it always was. Owned by the engine; GUI thread only.
class StatusScreen : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool shown READ isShown NOTIFY changed)
    Q_PROPERTY(QString deviceUid READ deviceUid NOTIFY changed)
    Q_PROPERTY(QString address READ address NOTIFY changed)
    Q_PROPERTY(QString failure READ failure NOTIFY changed)
    Q_PROPERTY(QString networkAddresses READ networkAddresses NOTIFY changed)
    Q_PROPERTY(QString version READ version CONSTANT)
    // Empty unless the local clock is off and the server's time is used instead.
    Q_PROPERTY(QString clock READ clock NOTIFY changed)

public:
    explicit StatusScreen(bool enabled = true, QObject* parent = nullptr);

    // "statusScreen" in the "screen" group of the settings file; on when absent.
    static bool enabledFromSettings(const QString& settingsFile = QStringLiteral("player.ini"));
    // A schedule source's failure reason in a few words an installer reads from
    // across the room: "connection refused", "HTTP 500", "not a schedule document".
    static QString failureWords(const QString& reason);

    // Follows the scene: its schedule source's address, failures and documents,
    // and its root's compositionShown. False when the scene has no schedule source.
    bool watch(QObject* scene);

    bool isShown() const { return m_enabled && !m_done; }
    QString deviceUid() const;
    QString address() const { return m_address; }
    QString failure() const { return m_failure; }
    QString networkAddresses() const { return m_networkAddresses; }
    QString version() const;
    QString clock() const { return m_clock; }

    void setDeviceUid(const QString& deviceUid);

public slots:
    void setAddress(const QString& address);
    void fail(const QString& reason);
    // A document was taken, or a composition came on screen.
    void finish();

signals:
    void changed();

private:
    void refreshNetworkAddresses();

    bool m_enabled = true;
    bool m_done = false;
    QString m_deviceUid;
    QString m_address;
    QString m_failure;
    QString m_networkAddresses;
    QString m_clock;
};
