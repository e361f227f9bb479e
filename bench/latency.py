#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Remote latency: the time from a command datagram to the status datagram that answers it.

Starts the real player on a schedule of full-HD images with 0 ms transitions (or, with
--video, a 1080p video and one such image), sends it N command datagrams on port 8000, one at a time,
each after the previous one was answered and a gap has passed, and times each answer
(the status datagram broadcast to port 8001). Prints median, p90, p99 and max in ms.

    tests/isolate.sh --net --x -- python3 bench/latency.py [--count 1000] [--gap 0.15]
    tests/isolate.sh --net --x -- python3 bench/latency.py --video [--command pause]

--command next (the default) sends "player_next" and waits for "player_composition_changed",
and checks that the compositions come in the schedule's order; --command pause alternates
"player_pause" and "player_resume" and waits for "player_is_paused" / "player_is_resumed"
(with --video, the video stays on screen and plays meanwhile).
Needs PLAYER_EXE (the player binary) and PLAYER_TEST_TMP (a scratch directory).
"""
import argparse, json, os, select, socket, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402  (its loopback file server)

args = argparse.ArgumentParser()
args.add_argument("--count", type=int, default=1000)
args.add_argument("--gap", type=float, default=0.15, help="seconds between an answer and the next command")
args.add_argument("--video", action="store_true", help="a 1080p video (and one image) instead of images only")
args.add_argument("--command", choices=("next", "pause"), default="next")
args.add_argument("--images", type=int, default=4)
args.add_argument("--dump", help="write each command's send and answer times (monotonic ns) to this file")
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("latency: run me through tests/isolate.sh --net --x")
WORK, PLAYER = os.environ["PLAYER_TEST_TMP"], os.path.abspath(os.environ["PLAYER_EXE"])
DEVICE = "LATENCY"
load_before = os.getloadavg()[0]

def run(*cmd):
    subprocess.run(cmd, check=True)

# Photographs cost more to decode than flat colours: a noisy test pattern per image.
for i in range(opts.images):
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc2=size=1920x1080:rate=1,noise=alls=40:allf=u,hue=h=%d" % (i * 360 // opts.images),
        "-frames:v", "1", "%s/img%d.jpg" % (WORK, i))
if opts.video:
    # Long enough for the whole run; encoding a few seconds and repeating them is quick.
    seconds = max(30, int(opts.count * (opts.gap + 0.05)) + 30)
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-t", "4",
        "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast", "-g", "30", WORK + "/part.mp4")
    run("ffmpeg", "-v", "error", "-y", "-stream_loop", str(seconds // 4), "-i", WORK + "/part.mp4",
        "-c", "copy", WORK + "/video.mp4")

server = soak.serve(WORK)

instant = {"enter": {"property": "opacity", "from": 1, "to": 1, "duration": 0},
           "exit": {"property": "opacity", "from": 1, "to": 1, "duration": 0}}
element = lambda t, s, d: {"type": t, "duration": d, "transitions": instant, "attributes": {"source": s}}
if opts.video:
    # A positive duration far beyond the run: only the commands move it.
    elements = [element("Video", "/video.mp4", 3600000), element("Image", "/img0.jpg", 3600000)]
else:
    elements = [element("Image", "/img%d.jpg" % i, 3600000) for i in range(opts.images)]
document = {"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
            "sequence": {"global_properties": {"duration": 3600000}, "elements": elements}}]}}
os.makedirs(WORK + "/ws", exist_ok=True)
json.dump(document, open(WORK + "/ws/stream.php", "w"))
open(WORK + "/player.ini", "w").write("[json]\nhost=127.0.0.1\nport=%d\n" % server.server_address[1])

status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
status.bind(("0.0.0.0", 8001))
command = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
# The thread that measures should not itself wait for the CPU on a busy machine (as root);
# the player and the file server keep the ordinary priority.
try:
    niced = os.nice(-10) < 0
except OSError:
    niced = False
player = subprocess.Popen([PLAYER, "-d", DEVICE], cwd=WORK, stdout=subprocess.DEVNULL,
                          stderr=open(WORK + "/latency.log", "w"), preexec_fn=(lambda: os.nice(10)) if niced else None)

def receive(timeout):
    """The next status datagram as (arrival ns, object), or None after timeout seconds."""
    if not select.select([status], [], [], timeout)[0]:
        return None
    data = status.recv(65536)
    return time.monotonic_ns(), json.loads(data)

def drain():
    while receive(0):
        pass

def finish(message=None):
    player.kill(), player.wait()
    server.shutdown()
    if message:
        sys.exit("latency: %s (see %s/latency.log)" % (message, WORK))

first = receive(20)
if not first or first[1].get("cmd") != "player_composition_changed":
    finish("no first composition within 20 s")
time.sleep(2)  # start-up work (web engine, first decodes) settles
drain()

sources = [e["attributes"]["source"] for e in elements]
expected = (sources.index(first[1]["infos"]["source"]) + 1) % len(sources)
latencies, lost, wrong, samples = [], 0, 0, []
for n in range(opts.count):
    if opts.command == "next":
        cmd, answer = "player_next", "player_composition_changed"
    else:
        cmd, answer = ("player_pause", "player_is_paused") if n % 2 == 0 else ("player_resume", "player_is_resumed")
    datagram = json.dumps({"cmd": cmd, "id": str(n), "device_id": DEVICE}).encode()
    sent = time.monotonic_ns()
    command.sendto(datagram, ("10.99.0.1", 8000))
    deadline = time.monotonic() + 2
    got = None
    while time.monotonic() < deadline:
        got = receive(max(0, deadline - time.monotonic()))
        if got is None or got[1].get("cmd") == answer:
            break
    if got is None or got[1].get("cmd") != answer:
        lost += 1
        if player.poll() is not None:
            finish("the player ended by itself")
        continue
    latencies.append((got[0] - sent) / 1e6)
    samples.append((sent, got[0]))
    if opts.command == "next":
        wrong += got[1]["infos"]["source"] != sources[expected]
        expected = (sources.index(got[1]["infos"]["source"]) + 1) % len(sources)
    time.sleep(opts.gap)
    drain()

if opts.dump:
    json.dump(samples, open(opts.dump, "w"))
alive = player.poll() is None
finish(None if alive else "the player ended by itself")
if not latencies:
    sys.exit("latency: no command was answered")

latencies.sort()
def pct(p):
    return latencies[min(len(latencies) - 1, int(round(p / 100.0 * (len(latencies) - 1))))]
print("latency (%s, %s, gap %.0f ms): %d commands, %d answered, %d lost, %d out of order"
      % ("1080p video" if opts.video else "full-HD images", cmd if opts.command == "next" else "pause/resume",
         opts.gap * 1000, opts.count, len(latencies), lost, wrong))
print("median %.2f ms  p90 %.2f ms  p99 %.2f ms  max %.2f ms" % (pct(50), pct(90), pct(99), latencies[-1]))
print("machine load (1 min average) %.1f before, %.1f after, on %d CPUs" % (load_before, os.getloadavg()[0], os.cpu_count()))
print("goal (median <= 5 ms, p99 <= 20 ms): %s" % ("met" if pct(50) <= 5 and pct(99) <= 20 else "not met"))
sys.exit(1 if lost or wrong else 0)
