// SPDX-License-Identifier: GPL-2.0-or-later
#include "PlayerTypes.h"

#include "CompositionGate.h"
#include "ScheduleSource.h"

#include <qqml.h>

void registerPlayerTypes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qmlRegisterType<ScheduleSource>("Player", 1, 0, "ScheduleSource");
    qmlRegisterType<CompositionGate>("Player", 1, 0, "CompositionGate");
}
