// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcMedia.h"

#include "QmlVlcPlayerProxy.h"

QmlVlcMedia::QmlVlcMedia(QmlVlcPlayerProxy* owner)
    : m_owner(owner)
{
}

void QmlVlcMedia::set_title(const QString& title)
{
    get_media().set_meta(libvlc_meta_Title, title.toUtf8().toStdString());
    emit titleChanged();
}

int QmlVlcMedia::itemIndex() const
{
    if (!m_owner)
        return -1;
    return m_owner->player().find_media_index(get_media());
}

QString QmlVlcMedia::get_setting() const
{
    const int idx = itemIndex();
    return idx < 0 ? QString() : QString::fromStdString(m_owner->player().get_item_data(unsigned(idx)));
}

void QmlVlcMedia::set_setting(const QString& setting)
{
    const int idx = itemIndex();
    if (idx >= 0)
        m_owner->player().set_item_data(unsigned(idx), setting.toUtf8().toStdString());
}

bool QmlVlcMedia::get_disabled() const
{
    const int idx = itemIndex();
    return idx >= 0 && m_owner->player().is_item_disabled(unsigned(idx));
}

void QmlVlcMedia::set_disabled(bool disabled)
{
    const int idx = itemIndex();
    if (idx >= 0)
        m_owner->player().disable_item(unsigned(idx), disabled);
}

vlc::media QmlVlcCurrentMedia::get_media() const
{
    return m_owner ? m_owner->player().basic_player().current_media() : vlc::media();
}

vlc::media QmlVlcMediaMedia::get_media() const { return m_owner ? m_media : vlc::media(); }
