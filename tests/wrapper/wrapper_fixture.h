#pragma once

// Shared fixtures of the wrapper tests: a quiet, headless libvlc instance and
// small media generated with ffmpeg into the test's private directory.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <vlc/vlc.h>

#include "vlc_player.h"

namespace wrapper_test {

// No window, no sound device, no log lines: only options libvlc 3.0 knows,
// since an unknown one makes libvlc_new fail.
// The dummy audio output has no volume: tests of volume and mute ask for ALSA,
// which isolate.sh points at a null device in the test's private HOME.
inline libvlc_instance_t* new_quiet_instance(const char* audio_output = "--aout=adummy")
{
    const char* const args[] = { "-q", "--no-video-title-show", "--no-stats", "--no-osd", "--text-renderer=dummy",
                                 audio_output, "--vout=dummy", "--no-xlib" };
    return libvlc_new(int(sizeof(args) / sizeof(args[0])), args);
}

// The private directory isolate.sh gives each test, or one of our own when
// the test runs outside it.
inline QString work_dir()
{
    static QTemporaryDir own;
    const QByteArray dir = qgetenv("PLAYER_TEST_TMP");
    return dir.isEmpty() ? own.path() : QString::fromLocal8Bit(dir);
}

// Runs ffmpeg once per output file and returns its path; empty on failure.
inline QString generate(const QString& name, const QStringList& ffmpeg_args)
{
    const QString path = QDir(work_dir()).filePath(name);
    if (QFile::exists(path))
        return path;
    QProcess ffmpeg;
    QStringList args { "-nostdin", "-v", "error", "-y" };
    args << ffmpeg_args << path;
    ffmpeg.start("ffmpeg", args);
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        qWarning() << "ffmpeg failed for" << name << ffmpeg.readAllStandardError();
        return QString();
    }
    return path;
}

// 320x240 test pattern with a 440 Hz tone and a title, 1 s.
inline QString short_clip()
{
    return generate("clip.mp4", { "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25",
                                  "-f", "lavfi", "-i", "sine=f=440:sample_rate=44100", "-t", "1",
                                  "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                                  "-c:a", "aac", "-metadata", "title=Wrapper clip" });
}

// Long enough to stay in the playing state for a whole test case.
inline QString long_clip()
{
    return generate("long.mp4", { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=5",
                                  "-f", "lavfi", "-i", "sine=f=220:sample_rate=22050", "-t", "60",
                                  "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                                  "-c:a", "aac" });
}

// Solid colour, no audio, for checking decoded pixels.
inline QString colour_clip(const QString& colour, int width, int height, double seconds = 1.0)
{
    return generate(QString("%1-%2x%3.avi").arg(colour).arg(width).arg(height),
                    { "-f", "lavfi", "-i", QString("color=c=%1:s=%2x%3:r=10").arg(colour).arg(width).arg(height),
                      "-t", QString::number(seconds), "-pix_fmt", "yuvj420p", "-c:v", "mjpeg" });
}

inline QByteArray location(const QString& path)
{
    return QUrl::fromLocalFile(path).toEncoded();
}

// Tests unregister their listeners through a scope guard declared after the
// player: a failed check returns early, and a listener still registered when
// the player closes is a contract violation that aborts the whole test run.

// Records media-player events on libvlc's event thread; read from the test.
class event_recorder : public vlc::media_player_events_callback
{
public:
    void media_player_event(const libvlc_event_t* e) override
    {
        std::lock_guard<std::mutex> lock(_guard);
        _types.push_back(e->type);
    }

    int count(libvlc_event_type_t type) const
    {
        std::lock_guard<std::mutex> lock(_guard);
        return int(std::count(_types.begin(), _types.end(), type));
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(_guard);
        _types.clear();
    }

private:
    mutable std::mutex _guard;
    std::vector<libvlc_event_type_t> _types;
};

} // namespace wrapper_test
