#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Memory: the player's resident set over many compositions, and at its peak with two videos.

1. The soak's schedule (bench/soak.py: images, a web page and videos with 150 ms
   transitions): RSS of the player when the 100th and the 1000th composition have come
   on screen (counted from its status datagrams), and the growth between the two.
2. Two 1080p videos one after the other with 2000 ms transitions: the highest RSS seen
   (sampled every 20 ms) while both are on screen, against the RSS just before the
   second one came.

Run it through tests/isolate.sh --net --x:

    PLAYER_EXE=build/sources/player tests/isolate.sh --net --x -- python3 bench/memory.py [--compositions 1000]
"""
import argparse, json, os, select, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402  (its schedule and status socket)

args = argparse.ArgumentParser()
args.add_argument("--compositions", type=int, default=1000)
args.add_argument("--early", type=int, default=100, help="the composition held against the last one")
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("memory: run me through tests/isolate.sh --net --x")
WORK, PLAYER = os.environ["PLAYER_TEST_TMP"], os.path.abspath(os.environ["PLAYER_EXE"])
status = soak.status_socket()


def rss_kib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])


def start(work, argv, log):
    while select.select([status], [], [], 0)[0]:   # what an earlier run left
        status.recv(65536)
    return subprocess.Popen([PLAYER] + argv, cwd=work, stdout=subprocess.DEVNULL, stderr=open(log, "w"))


def compositions(player, count, timeout):
    """Waits for count more compositions; returns the times they came at."""
    times, end = [], time.monotonic() + timeout
    while len(times) < count and time.monotonic() < end and player.poll() is None:
        if select.select([status], [], [], 0.5)[0] and soak.is_composition_change(status.recv(65536)):
            times.append(time.monotonic())
    if len(times) < count:
        player.kill()
        sys.exit("memory: %d of %d compositions came (see the player's log in %s)" % (len(times), count, WORK))
    return times


# 1. Many compositions.
soak_dir = os.path.join(WORK, "soak")
os.makedirs(soak_dir)
soak.prepare(soak_dir)
player = start(soak_dir, ["-d", "MEMORY"], os.path.join(WORK, "soak.log"))
began = time.monotonic()
compositions(player, opts.early, 600)
early = rss_kib(player.pid)
compositions(player, opts.compositions - opts.early, 6 * opts.compositions)
late = rss_kib(player.pid)
took = time.monotonic() - began
player.kill(), player.wait()
print("soak schedule: RSS %d MiB after %d compositions, %d MiB after %d (%.0f s): %+.1f MiB, %+.0f KiB per 1000"
      % (early / 1024, opts.early, late / 1024, opts.compositions, took, (late - early) / 1024,
         (late - early) * 1000.0 / (opts.compositions - opts.early)), flush=True)

# 2. Two full-HD videos on screen at once.
for name, pattern in (("one", "testsrc2"), ("two", "smptehdbars")):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "%s=size=1920x1080:rate=30" % pattern, "-t", "6",
                    "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "veryfast", "%s/%s.mp4" % (WORK, name)], check=True)
TRANSITION = 2000
fade = {"enter": {"property": "opacity", "from": 0, "to": 1, "duration": TRANSITION},
        "exit": {"property": "opacity", "from": 1, "to": 0, "duration": TRANSITION}}
elements = [{"type": "Video", "duration": 4000, "transitions": fade, "attributes": {"source": "file://%s/%s.mp4" % (WORK, n)}}
            for n in ("one", "two")]
doc = os.path.join(WORK, "two.json")
json.dump({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
          "sequence": {"global_properties": {"duration": 4000}, "elements": elements}}]}}, open(doc, "w"))
player = start(WORK, ["--json=" + doc], os.path.join(WORK, "two.log"))
compositions(player, 1, 60)
time.sleep(3)   # the first video plays alone, its pool settled
alone = rss_kib(player.pid)
compositions(player, 1, 30)
peak, end = 0, time.monotonic() + TRANSITION / 1000.0
while time.monotonic() < end:
    peak = max(peak, rss_kib(player.pid))
    time.sleep(0.02)
player.kill(), player.wait()
print("two 1080p videos during a %d ms transition: peak RSS %d MiB, %d MiB with one playing alone (%+d MiB)"
      % (TRANSITION, peak / 1024, alone / 1024, (peak - alone) / 1024))
print("(the machine may be shared: a loaded machine changes timings, not what is held in memory)")
