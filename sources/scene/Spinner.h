// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QColor>
#include <QObject>
#include <QString>

// Model of the banner overlay in the top right corner. The engine changes it,
// the scene's SpinnerItem only reads it. Setters emit every time, even when the
// value is unchanged, so a repeated notification re-triggers the QML bindings.
class Spinner : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor NOTIFY textColorChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(QString imageSource READ imageSource WRITE setImageSource NOTIFY imageSourceChanged)
    Q_PROPERTY(bool imageVisible READ imageVisible WRITE setImageVisible NOTIFY imageVisibleChanged)
    Q_PROPERTY(bool running READ running WRITE setRunning NOTIFY runningChanged)
    Q_PROPERTY(bool busy READ busy WRITE setBusy NOTIFY busyChanged)

public:
    explicit Spinner(QObject* parent = nullptr);

    static QColor defaultColor() { return QColor(255, 255, 255, 200); }
    static QColor defaultTextColor() { return QColor(0, 0, 0, 255); }

    QColor color() const { return m_color; }
    QColor textColor() const { return m_textColor; }
    QString text() const { return m_text; }
    QString imageSource() const { return m_imageSource; }
    bool imageVisible() const { return m_imageVisible; }
    bool running() const { return m_running; }
    bool busy() const { return m_busy; }

    void setColor(const QColor& color);
    void setTextColor(const QColor& color);
    void setText(const QString& text);
    void setImageSource(const QString& source);
    void setImageVisible(bool visible);
    void setRunning(bool running);
    void setBusy(bool busy);

    void show(const QString& text);
    void show(const QString& text, bool busy);
    void hide();
    void reset();

signals:
    void colorChanged();
    void textColorChanged();
    void textChanged();
    void imageSourceChanged();
    void imageVisibleChanged();
    void runningChanged();
    void busyChanged();

private:
    QColor m_color = defaultColor();
    QColor m_textColor = defaultTextColor();
    QString m_text;
    QString m_imageSource;
    bool m_imageVisible = false;
    bool m_running = false;
    bool m_busy = true;
};
