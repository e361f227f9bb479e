// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcPositions.h"

#include <iterator>

namespace {

// Indexed by number; 3 (left and right) and 7 have no name.
const char* const positionNames[] = {
    "center",
    "left",
    "right",
    nullptr,
    "top",
    "top-left",
    "top-right",
    nullptr,
    "bottom",
    "bottom-left",
    "bottom-right",
};

} // namespace

QString QmlGetPositionById(unsigned number)
{
    if (number >= std::size(positionNames) || !positionNames[number])
        return QString();
    return QString::fromLatin1(positionNames[number]);
}

int QmlGetIdByPosition(const QString& name)
{
    for (unsigned i = 0; i < std::size(positionNames); ++i) {
        if (positionNames[i] && name == QLatin1String(positionNames[i]))
            return int(i);
    }
    return -1;
}
