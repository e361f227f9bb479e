#!/usr/bin/env python3
"""The real player on a schedule of images, videos and a live stream: colours on the
private Xvfb screen and the status datagrams (broken items are e2e_skip's). Runs only
inside tests/isolate.sh --net --x."""

import json, os, pathlib, re, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (check, datagrams, element, failures, require_isolation, schedule, screen_pixel,  # noqa: E402
                     solid_png, start_player, stop, wait_for)

require_isolation("e2e_media")
WORK = os.environ["PLAYER_TEST_TMP"]


def ffmpeg_clip(name, colour, seconds):
    path = os.path.join(WORK, name)
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=c=%s:s=640x360:r=25" % colour, "-t",
                    str(seconds), "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "12", path], check=True, timeout=60)
    return path


COLOURS = {"red": (255, 0, 0), "green": (0, 128, 0), "blue": (0, 0, 255), "yellow": (255, 255, 0),
           "magenta": (255, 0, 255)}
for name in ("red", "yellow"):
    solid_png(os.path.join(WORK, name + ".png"), name)
ffmpeg_clip("green.mp4", "green", 6)  # longer than its 3000 ms on screen
ffmpeg_clip("blue.mp4", "blue", 3)  # duration 0: on screen until its end
stream_clip = ffmpeg_clip("magenta.mp4", "magenta", 4)

# A live MPEG-TS stream over UDP on loopback, bounded in time like the whole run.
streamer = subprocess.Popen(["ffmpeg", "-v", "error", "-re", "-stream_loop", "-1", "-i", stream_clip, "-t", "150",
                             "-c", "copy", "-f", "mpegts", "udp://127.0.0.1:1234?pkt_size=1316"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
URL = "file://" + WORK + "/"
elements = [element("Image", URL + "red.png", duration=3000), element("Video", URL + "green.mp4", duration=3000),
            element("Video", URL + "blue.mp4", duration=0), element("Image", URL + "yellow.png", duration=3000),
            element("RtspStream", "udp://@127.0.0.1:1234", duration=6000)]
DOC = os.path.join(WORK, "doc.json")
pathlib.Path(DOC).write_text(schedule(elements, duration=60000))
status = datagrams(socket.AF_INET, ("0.0.0.0", 8001))


def colour_at(delay, name):
    """The middle of the screen, delay seconds from now, against a named colour."""
    time.sleep(delay)
    got = tuple(int(v) for v in re.findall(r"\d+", screen_pixel(960, 540))[:3])
    check(len(got) == 3 and all(abs(a - e) <= 40 for a, e in zip(got, COLOURS[name])),
          "%s on screen: %s" % (name, got))


def record(skip, seconds):
    """The middle of the screen, 30 times a second from skip seconds on, each frame shrunk to 4x4 pixels of RGB."""
    return subprocess.Popen(["ffmpeg", "-v", "error", "-f", "x11grab", "-framerate", "30", "-video_size", "640x360",
                             "-i", os.environ["DISPLAY"] + "+640,360", "-ss", str(skip), "-t", str(seconds), "-vf", "scale=4:4",
                             "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def check_change(recorder, old, new):
    """Every recorded frame shows the old or the new colour only: no black, grey or stale frame between."""
    data = recorder.communicate(timeout=30)[0]
    frames = [data[i:i + 48] for i in range(0, len(data) - 47, 48)]
    near = lambda f, c: all(sum(abs(f[j + k] - c[k]) for k in range(3)) <= 90 for j in range(0, 48, 3))
    bad = [n for n, f in enumerate(frames) if not (near(f, COLOURS[old]) or near(f, COLOURS[new]))]
    seen = [name for name in (old, new) if any(near(f, COLOURS[name]) for f in frames)]
    check(len(frames) > 60 and not bad and len(seen) == 2, "%s to %s: %d frames, both seen: %s, frames with neither: %s"
          % (old, new, len(frames), seen == [old, new], bad[:10]))


player = start_player(["--json=" + DOC], WORK, dict(os.environ, QSG_RENDER_LOOP="basic"))
try:
    # (type, source ending, the longest it may take after the previous one, colour to see)
    steps = [("Image", "red.png", 20, "red"), ("Video", "green.mp4", 5, "green"), ("Video", "blue.mp4", 5, "blue"),
             ("Image", "yellow.png", 5, "yellow"),
             ("RtspStream", "1234", 5, "magenta")]
    for n, (kind, ending, timeout, colour) in enumerate(steps, 1):
        got = status[n - 1] if wait_for(lambda: len(status) >= n, timeout) else None
        infos = json.loads(got[1]).get("infos", {}) if got else {}
        if not check(infos.get("type") == kind and str(infos.get("source", "")).endswith(ending),
                     "composition %d is the %s %s: %s" % (n, kind, ending, got and got[1])):
            break
        if ending == "green.mp4":
            recorder = record(0.5, 4)  # across the change to the blue video, at green's 3000 ms
        if colour:
            colour_at(3.5 if kind == "RtspStream" else 1.5, colour)
        if ending == "blue.mp4":
            check_change(recorder, "green", "blue")
    times = [at for at, _ in status]
    if len(times) >= 5:
        check(2.5 <= times[2] - times[1] <= 4.5, "the green video leaves after its own 3000 ms: %.2f s" % (times[2] - times[1]))
        check(2.5 <= times[3] - times[2] <= 6.0, "the duration-0 video leaves at its 3 s end: %.2f s" % (times[3] - times[2]))
    check(wait_for(lambda: len(status) >= 6, 9) and json.loads(status[5][1])["infos"]["type"] == "Image",
          "the stream leaves after its 6000 ms, the loop starts over")
finally:
    stop(player)
    stop(streamer)

sys.exit("%d check(s) failed; the player's output in %s/log" % (len(failures), WORK) if failures else 0)
