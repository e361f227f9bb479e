// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Model of the QR overlay that shows the identifier of a public schedule.
class ScheduleQRCode : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(bool visible READ visible WRITE setVisible NOTIFY visibleChanged)

public:
    explicit ScheduleQRCode(QObject* parent = nullptr);

    QString value() const { return m_value; }
    bool visible() const { return m_visible; }
    void setValue(const QString& value);
    void setVisible(bool visible);

    void show(const QString& value);
    void hide();

signals:
    void valueChanged();
    void visibleChanged();

private:
    QString m_value;
    bool m_visible = false;
};
