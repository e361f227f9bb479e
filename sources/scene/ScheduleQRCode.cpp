// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScheduleQRCode.h"

ScheduleQRCode::ScheduleQRCode(QObject* parent)
    : QObject(parent)
{
}

void ScheduleQRCode::setValue(const QString& value)
{
    m_value = value;
    emit valueChanged();
}

void ScheduleQRCode::setVisible(bool visible)
{
    m_visible = visible;
    emit visibleChanged();
}

void ScheduleQRCode::show(const QString& value)
{
    setValue(value);
    setVisible(true);
}

void ScheduleQRCode::hide() { setVisible(false); }
