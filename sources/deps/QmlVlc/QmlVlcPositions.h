// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Marquee and logo positions: names for QML, numbers for libvlc (bits left 1,
// right 2, top 4, bottom 8; 0 is the centre). Names are case-sensitive.
QString QmlGetPositionById(unsigned number); // empty when the number has no name
int QmlGetIdByPosition(const QString& name); // -1 when the name is unknown
