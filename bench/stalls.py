#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""GUI-thread stalls at composition changes: video to video, video to image, image to video.

Plays a looping local schedule of two 1080p30 H.264 videos and one full-HD image (instant changes)
and reads two things: the player's "composition changed" status datagrams (port 8001), and its
debug lines "gui thread held N ms until T" (a 10 ms timer on the GUI thread that came late by N ms,
printed with QT_LOGGING_RULES="player.video.debug=true;default.debug=true"). Each change is given the longest stall
that overlaps the time from 300 ms before its datagram to 1 s after it. Prints, per kind of change,
the changes measured, the median, 90th percentile and maximum of those stalls, and how many changes
had one above 20 ms. Run it through tests/isolate.sh --net --x:

    PLAYER_EXE=build/sources/player tests/isolate.sh --net --x -- python3 bench/stalls.py [--changes 100]
"""
import argparse, json, os, queue, re, socket, statistics, subprocess, sys, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
args = argparse.ArgumentParser()
args.add_argument("--changes", type=int, default=100, help="changes of each kind")
args.add_argument("--duration", type=int, default=1200, help="ms per composition")
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("stalls: run me through tests/isolate.sh --net --x")
WORK = os.environ["PLAYER_TEST_TMP"]
PLAYER = os.path.abspath(os.environ.get("PLAYER_EXE", os.path.join(HERE, "..", "build", "sources", "player")))
BEFORE, AFTER, LIMIT = 0.3, 1.0, 20

elements = []
for name, source in (("a", "testsrc2"), ("b", "mandelbrot")):
    clip = os.path.join(WORK, name + ".mp4")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "%s=size=1920x1080:rate=30" % source,
                    "-t", str(opts.duration / 1000 + 3), "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset",
                    "veryfast", clip], check=True)
    elements.append({"type": "Video", "duration": opts.duration, "attributes": {"source": "file://" + clip}})
subprocess.run(["/usr/bin/convert", "-size", "1920x1080", "plasma:fractal", os.path.join(WORK, "still.jpg")], check=True)
elements.append({"type": "Image", "duration": opts.duration, "attributes": {"source": "file://%s/still.jpg" % WORK}})
doc = os.path.join(WORK, "stalls.json")
json.dump({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
          "sequence": {"global_properties": {"duration": opts.duration}, "elements": elements}}]}}, open(doc, "w"))

status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
status.bind(("0.0.0.0", 8001))
status.settimeout(10)
log = open(os.path.join(WORK, "stalls.log"), "w")
player = subprocess.Popen([PLAYER, "--json=" + doc], cwd=WORK, stdin=subprocess.DEVNULL, stdout=log,
                          stderr=subprocess.PIPE, text=True, bufsize=1,
                          env=dict(os.environ, QT_LOGGING_RULES="player.video.debug=true;default.debug=true"))
stalls = queue.Queue()
HELD = re.compile(r"gui thread held (\d+) ms until (\d+)")


def read():
    for line in player.stderr:
        match = HELD.search(line)
        if match:
            end = int(match.group(2)) / 1000.0
            stalls.put((end - int(match.group(1)) / 1000.0, end))
        else:
            log.write(line)


threading.Thread(target=read, daemon=True).start()

kind_of = lambda source: "image" if source.endswith(".jpg") else "video"
changes, previous = [], None
counts = {}
load_before = os.getloadavg()[0]
try:
    while min(counts.get(k, 0) for k in ("video-video", "video-image", "image-video")) < opts.changes:
        message = json.loads(status.recv(65536))
        if message.get("cmd") != "player_composition_changed":
            continue
        source = message.get("infos", {}).get("source", "")
        if previous is not None:
            kind = (kind_of(previous) + "-" + kind_of(source)) if previous != source else None
            if kind:
                changes.append((time.monotonic(), kind))
                counts[kind] = counts.get(kind, 0) + 1
        previous = source
except socket.timeout:
    sys.exit("stalls: no change for 10 s (see %s)" % log.name)
finally:
    time.sleep(AFTER)
    player.terminate()
    player.wait(15)
load_after = os.getloadavg()[0]

held = []
while not stalls.empty():
    held.append(stalls.get())
worst = {}
for t, kind in changes:
    overlapping = [end - start for start, end in held if end >= t - BEFORE and start <= t + AFTER]
    worst.setdefault(kind, []).append(1000 * max(overlapping, default=0))

print("GUI-thread stalls at composition changes (%s): %d ms per composition, load average %.1f -> %.1f"
      % (PLAYER, opts.duration, load_before, load_after))
print("%-12s %7s %8s %6s %6s %s" % ("change", "changes", "median", "p90", "max", "above %d ms" % LIMIT))
for kind in ("video-video", "video-image", "image-video"):
    values = sorted(worst.get(kind, []))
    if not values:
        continue
    p90 = values[min(len(values) - 1, int(0.9 * len(values)))]
    print("%-12s %7d %8.0f %6.0f %6.0f %d" % (kind, len(values), statistics.median(values), p90, values[-1],
                                              sum(v > LIMIT for v in values)))
print("(a stall is the lateness of a 10 ms GUI-thread timer; other work on the machine delays it too)")
