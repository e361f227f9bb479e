// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcInput.h"

unsigned QmlVlcInput::get_titleCount() const
{
    const int count = mp() ? libvlc_media_player_get_title_count(mp()) : 0;
    return count < 0 ? 0 : unsigned(count);
}

int QmlVlcInput::get_title() const { return mp() ? libvlc_media_player_get_title(mp()) : -1; }

void QmlVlcInput::set_title(int title)
{
    if (mp())
        libvlc_media_player_set_title(mp(), title);
}

unsigned QmlVlcInput::get_chapterCount() const
{
    const int count = mp() ? libvlc_media_player_get_chapter_count(mp()) : 0;
    return count < 0 ? 0 : unsigned(count);
}

int QmlVlcInput::get_chapter() const { return mp() ? libvlc_media_player_get_chapter(mp()) : -1; }

void QmlVlcInput::set_chapter(int chapter)
{
    if (mp())
        libvlc_media_player_set_chapter(mp(), chapter);
}

void QmlVlcInput::prevChapter()
{
    if (mp())
        libvlc_media_player_previous_chapter(mp());
}

void QmlVlcInput::nextChapter()
{
    if (mp())
        libvlc_media_player_next_chapter(mp());
}
