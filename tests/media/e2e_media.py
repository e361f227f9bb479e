#!/usr/bin/env python3
"""The real player on a schedule of images, videos and a live stream: colours on the
private Xvfb screen and the status datagrams, including the advance of a video that
cannot be played. Runs only inside tests/isolate.sh --net --x."""

import json
import os
import socket
import subprocess
import sys
import threading
import time

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_media: run me through tests/isolate.sh --net --x")

WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "media")
os.makedirs(WORK, exist_ok=True)
DEADLINE = time.monotonic() + 150
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def ffmpeg_clip(name, colour, seconds):
    path = os.path.join(WORK, name)
    run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=c=%s:s=640x360:r=25" % colour, "-t", str(seconds),
        "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "12", path)
    return path


COLOURS = {"red": (255, 0, 0), "green": (0, 128, 0), "blue": (0, 0, 255), "yellow": (255, 255, 0),
           "magenta": (255, 0, 255)}
for name in ("red", "yellow"):
    run("/usr/bin/convert", "-size", "64x64", "xc:" + name, os.path.join(WORK, name + ".png"))
green = ffmpeg_clip("green.mp4", "green", 6)      # longer than its 3000 ms on screen
blue = ffmpeg_clip("blue.mp4", "blue", 3)         # duration 0: on screen until its end
stream_clip = ffmpeg_clip("magenta.mp4", "magenta", 4)

# A live MPEG-TS stream over UDP on loopback, bounded in time like the whole run.
streamer = subprocess.Popen(["ffmpeg", "-v", "error", "-re", "-stream_loop", "-1", "-i", stream_clip, "-t", "150",
                             "-c", "copy", "-f", "mpegts", "udp://127.0.0.1:1234?pkt_size=1316"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def url(path):
    return "file://" + path


elements = [
    {"type": "Image", "duration": 3000, "attributes": {"source": url(os.path.join(WORK, "red.png"))}},
    {"type": "Video", "duration": 3000, "attributes": {"source": url(green)}},
    {"type": "Video", "duration": 0, "attributes": {"source": url(blue)}},
    {"type": "Video", "duration": 0, "attributes": {"source": url(os.path.join(WORK, "missing.mp4"))}},
    {"type": "Image", "duration": 3000, "attributes": {"source": url(os.path.join(WORK, "yellow.png"))}},
    {"type": "RtspStream", "duration": 6000, "attributes": {"source": "udp://@127.0.0.1:1234"}},
]
DOC = os.path.join(WORK, "doc.json")
with open(DOC, "w") as out:
    json.dump({"schedule": {"schedule_uid": "MEDIA", "private": True, "sequences": [{
        "diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
        "sequence": {"global_properties": {"duration": 60000}, "elements": elements}}]}}, out)

status = []
listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("0.0.0.0", 8001))
listener.settimeout(0.2)


def listen():
    while time.monotonic() < DEADLINE:
        try:
            data, _ = listener.recvfrom(65536)
        except socket.timeout:
            continue
        status.append((time.monotonic(), json.loads(data.decode("utf-8", "replace"))))


threading.Thread(target=listen, daemon=True).start()


def wait_status(count, timeout):
    end = min(time.monotonic() + timeout, DEADLINE)
    while time.monotonic() < end and len(status) < count:
        time.sleep(0.02)
    return status[count - 1] if len(status) >= count else None


def colour_at(delay, name):
    """The middle of the screen, delay seconds from now, against a named colour."""
    time.sleep(delay)
    shot = os.path.join(WORK, "%s.png" % name)
    with open(shot + ".xwd", "wb") as out:
        subprocess.run(["xwd", "-root", "-silent", "-display", os.environ["DISPLAY"]], stdout=out, check=True, timeout=20)
    fmt = "%[fx:int(255*p{960,540}.r+0.5)],%[fx:int(255*p{960,540}.g+0.5)],%[fx:int(255*p{960,540}.b+0.5)]"
    out = subprocess.run(["/usr/bin/convert", "xwd:" + shot + ".xwd", "-format", fmt, "info:"],
                         check=True, capture_output=True, text=True, timeout=20).stdout
    got = tuple(int(v) for v in out.strip().split(","))
    check(all(abs(a - e) <= 40 for a, e in zip(got, COLOURS[name])), "%s on screen: %s" % (name, got))


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


player_log = open(os.path.join(WORK, "player.log"), "w")
player = subprocess.Popen([os.environ["PLAYER_EXE"], "--json=" + DOC], cwd=WORK, stdout=player_log,
                          stderr=subprocess.STDOUT, env=dict(os.environ, QSG_RENDER_LOOP="basic"))
try:
    # (type, source ending, the longest it may take after the previous one, colour to see)
    steps = [("Image", "red.png", 20, "red"), ("Video", "green.mp4", 5, "green"), ("Video", "blue.mp4", 5, "blue"),
             ("Video", "missing.mp4", 8, None), ("Image", "yellow.png", 4, "yellow"),
             ("RtspStream", "1234", 5, "magenta")]
    for n, (kind, ending, timeout, colour) in enumerate(steps, 1):
        got = wait_status(n, timeout)
        infos = got[1].get("infos", {}) if got else {}
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
    if len(times) >= 6:
        check(2.5 <= times[2] - times[1] <= 4.5, "the green video leaves after its own 3000 ms: %.2f s" % (times[2] - times[1]))
        check(2.5 <= times[3] - times[2] <= 6.0, "the duration-0 video leaves at its 3 s end: %.2f s" % (times[3] - times[2]))
        check(0.9 <= times[4] - times[3] <= 3.0, "the missing video leaves one second after its error: %.2f s" % (times[4] - times[3]))
    nxt = wait_status(7, 9)
    check(nxt is not None and nxt[1]["infos"]["type"] == "Image", "the stream leaves after its 6000 ms, the loop starts over")
finally:
    player.terminate()
    try:
        player.wait(10)
    except subprocess.TimeoutExpired:
        player.kill()
        player.wait()
    streamer.kill()
    streamer.wait()
    player_log.close()

if failures:
    for at, message in status:
        print("  status at %.2f: %s" % (at - status[0][0], json.dumps(message)))
    print("%d check(s) failed; screenshots and player.log in %s" % (len(failures), WORK))
    if os.environ.get("E2E_KEEP"):
        subprocess.run(["cp", "-r", WORK, os.environ["E2E_KEEP"]])
    sys.exit(1)
print("all checks passed")
