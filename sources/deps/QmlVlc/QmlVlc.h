// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Makes the QML module "QmlVlc" 0.1 available to every QML engine of the process
// and sets the plugin's engine-wide options. Call before the application object exists.
void initQmlVlc();
void RegisterQmlVlc();
void RegisterQmlVlcPlayer();
