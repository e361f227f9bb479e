// What the tests that drive libvlc share: a quiet instance and clips made by ffmpeg.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <vlc/vlc.h>

// No window, no sound, no log lines.
inline libvlc_instance_t* new_quiet_instance()
{
    const char* const args[] = { "-q", "--no-video-title-show", "--no-stats", "--no-osd", "--text-renderer=dummy",
        "--aout=adummy", "--vout=dummy", "--no-xlib" };
    return libvlc_new(int(sizeof(args) / sizeof(args[0])), args);
}

// Made by ffmpeg once in the test's private directory; its path, empty on failure.
inline QString generate(const QString& name, const QStringList& ffmpeg_args)
{
    const QString path = QDir(qEnvironmentVariable("PLAYER_TEST_TMP", QDir::tempPath())).filePath(name);
    if (!QFile::exists(path))
        QProcess::execute("ffmpeg", QStringList { "-nostdin", "-v", "error", "-y" } << ffmpeg_args << path);
    return QFile::exists(path) ? path : QString();
}

// The file:// address of `seconds` of a lavfi source, H.264 unless another codec is given.
inline QString lavfi_clip(const QString& name, const QString& source,
    const QStringList& codec = { "-pix_fmt", "yuv420p", "-c:v", "libx264" }, const QString& seconds = "1")
{
    const QStringList input { "-f", "lavfi", "-i", source, "-t", seconds };
    return QUrl::fromLocalFile(generate(name, input + codec)).toString();
}
