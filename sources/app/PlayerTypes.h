// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Makes the shell's QML types ("Player" 1.0: ScheduleSource, CompositionGate)
// available to every QML engine of the process. Called once by main() before the
// engine exists, and by each test that loads the scene; calling it again does no harm.
void registerPlayerTypes();
