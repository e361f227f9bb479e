// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// How the screen hangs: the clockwise turn, in degrees, that the whole scene is
// drawn with. Read once at start from "--rotation=DEGREES" (which wins) and from
// "rotation" in the "screen" group of the settings file. Published to the scene,
// whose root content item is laid out for the turned size and turned by this
// much. GUI thread.
class ScreenSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(int rotation READ rotation CONSTANT)

public:
    explicit ScreenSettings(int rotation = 0, QObject* parent = nullptr);

    // 0, 90, 180 or 270 for such a text (spaces around it allowed), else -1.
    static int parseRotation(const QString& text);
    // The rotation that `argument` (as given on the command line, null when absent)
    // and the settings file ask for, 0 when neither does. A value that is no quarter
    // turn is ignored, with a line for each in `problems`.
    static int rotationFrom(const QString& argument, const QString& settingsFile, QStringList* problems);
    // The rotation of this process: its command line (already checked) and player.ini, problems as warnings.
    static ScreenSettings* fromLaunch(QObject* parent);

    int rotation() const { return m_rotation; }

private:
    int m_rotation = 0;
};
