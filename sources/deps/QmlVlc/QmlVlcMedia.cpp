#include "QmlVlcMedia.h"

#include "QmlVlcPlayerProxy.h"

QString QmlVlcMedia::get_mrl() const { return QString::fromStdString(get_media().mrl()); }

QString QmlVlcMedia::get_title() const { return QString::fromStdString(get_media().meta(libvlc_meta_Title)); }

vlc::media QmlVlcCurrentMedia::get_media() const { return m_owner->player().basic_player().current_media(); }
