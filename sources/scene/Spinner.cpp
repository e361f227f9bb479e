// SPDX-License-Identifier: GPL-2.0-or-later
#include "Spinner.h"

Spinner::Spinner(QObject* parent)
    : QObject(parent)
{
}

void Spinner::setColor(const QColor& color)
{
    m_color = color;
    emit colorChanged();
}

void Spinner::setTextColor(const QColor& color)
{
    m_textColor = color;
    emit textColorChanged();
}

void Spinner::setText(const QString& text)
{
    m_text = text;
    emit textChanged();
}

void Spinner::setImageSource(const QString& source)
{
    m_imageSource = source;
    emit imageSourceChanged();
}

void Spinner::setImageVisible(bool visible)
{
    m_imageVisible = visible;
    emit imageVisibleChanged();
}

void Spinner::setRunning(bool running)
{
    m_running = running;
    emit runningChanged();
}

void Spinner::setBusy(bool busy)
{
    m_busy = busy;
    emit busyChanged();
}

void Spinner::show(const QString& text) { show(text, true); }

void Spinner::show(const QString& text, bool busy)
{
    setText(text);
    setBusy(busy);
    setRunning(true);
}

void Spinner::hide() { setRunning(false); }

void Spinner::reset()
{
    // Hidden first: a banner still showing while it turns busy would start the
    // busy indicator's animation for nothing, on the render thread.
    setRunning(false);
    setBusy(true);
    setText(QString());
    setColor(defaultColor());
    setTextColor(defaultTextColor());
    setImageSource(QString());
    setImageVisible(false);
}
