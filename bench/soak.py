#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Soak: the real player on a fast schedule of images, web pages and videos with transitions.

Samples the player's resident memory, open file descriptors and threads (and the web
engine's helper processes) every 10 s and prints the growth per 1000 compositions
after the warm-up. Run it through tests/isolate.sh --net --x:

    tests/isolate.sh --net --x -- python3 bench/soak.py --minutes 60 [--check]

With --check it exits 1 when the descriptor or thread count grows after the warm-up.
Needs PLAYER_EXE (the player binary) and PLAYER_TEST_TMP (a scratch directory).
"""
import argparse, json, os, select, socket, subprocess, sys, threading, time
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer


class Quiet(SimpleHTTPRequestHandler):
    log_message = lambda self, *a: None


def serve(directory):
    """Serves directory on a loopback port, from a daemon thread."""
    server = ThreadingHTTPServer(("127.0.0.1", 0), partial(Quiet, directory=directory))
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def prepare(work):
    """Writes the soak's media and schedule into work, serves them on loopback and points
    player.ini at that server; returns the server (it runs on a daemon thread)."""
    for colour in ("red", "green", "blue"):
        subprocess.run(["/usr/bin/convert", "-size", "640x360", "xc:" + colour, "%s/%s.png" % (work, colour)], check=True)
    for colour in ("yellow", "magenta"):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=%s:s=320x180:r=25" % colour, "-t", "2",
                        "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "12", "%s/%s.mp4" % (work, colour)], check=True)
    open(work + "/page.html", "w").write("<body style='background:#336'><h1 id=t></h1><script>"
                                         "setInterval(()=>t.textContent=Date.now(),50)</script></body>")

    server = serve(work)
    fade = {"enter": {"property": "opacity", "from": 0, "to": 1, "duration": 150},
            "exit": {"property": "x", "from": 0, "to": "-mainWindow.width", "duration": 150}}
    element = lambda t, s, d: {"type": t, "duration": d, "transitions": fade, "attributes": {"source": s}}
    elements = [element("Image", "/red.png", 200), element("WebView", "http://127.0.0.1:%d/page.html" % server.server_address[1], 600),
                element("Image", "/green.png", 300), element("Video", "/yellow.mp4", 1000), element("Image", "/blue.png", 250),
                element("Video", "/magenta.mp4", 500)]
    document = {"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
                "sequence": {"global_properties": {"duration": 500}, "elements": elements}}]}}
    os.makedirs(work + "/ws", exist_ok=True)
    json.dump(document, open(work + "/ws/stream.php", "w"))
    open(work + "/player.ini", "w").write("[json]\nhost=127.0.0.1\nport=%d\n" % server.server_address[1])
    return server


def status_socket():
    """Where the player's status datagrams arrive (it broadcasts them on eth0 to port 8001)."""
    status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    status.bind(("0.0.0.0", 8001))
    return status


def is_composition_change(datagram):
    return json.loads(datagram).get("cmd") == "player_composition_changed"


def mappings(pid):
    """Resident KiB by kind of mapping: the brk heap, anonymous mappings (malloc's
    thread arenas, large blocks, stacks, the GL driver's buffers), shared memory and files."""
    kinds, kind = {"heap": 0, "anon": 0, "shm": 0, "file": 0}, "anon"
    for line in open("/proc/%d/smaps" % pid):
        head = line.split(None, 5)
        if "-" in head[0] and len(head) >= 5 and not head[0].endswith(":"):
            name = head[5].strip() if len(head) > 5 else ""
            kind = ("heap" if name == "[heap]" else "anon" if not name or name.startswith("[") else
                    "shm" if name.startswith(("/dev/shm", "/memfd:", "/SYSV")) else "file")
        elif head[0] == "Rss:":
            kinds[kind] += int(head[1])
    return kinds


class HeapInUse:
    """The last heap-in-use figure the player's trimmer logged (with -v, every 30 s)."""
    def __init__(self, path):
        self.log, self.value = open(path, errors="replace"), None

    def __call__(self):
        for line in self.log:
            if "HeapTrimmer - in use " in line and line.endswith("\n"):
                self.value = int(line.split("in use ")[1].split()[0])
        return {"in_use": self.value} if self.value is not None else {}


def sample(pid, extra=lambda: {}):
    fields = dict(line.split(":", 1) for line in open("/proc/%d/status" % pid))
    children = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout.split()
    return {"rss_kib": int(fields["VmRSS"].split()[0]), "fds": len(os.listdir("/proc/%d/fd" % pid)),
            "threads": int(fields["Threads"]), "children": len(children), **mappings(pid), **extra()}


def main():
    args = argparse.ArgumentParser()
    args.add_argument("--minutes", type=float, default=3)
    args.add_argument("--warmup", type=float, default=60, help="seconds left out of the growth figures")
    args.add_argument("--check", action="store_true")
    args.add_argument("--verbose", action="store_true", help="run the player with -v and report its heap in use "
                      "(allocated and not freed, whatever the allocator keeps in reserve)")
    opts = args.parse_args()
    if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
        sys.exit("soak: run me through tests/isolate.sh --net --x")
    WORK, PLAYER = os.environ["PLAYER_TEST_TMP"], os.environ["PLAYER_EXE"]
    prepare(WORK)
    status = status_socket()
    player = subprocess.Popen([PLAYER, "-d", "SOAK"] + ["-v"] * opts.verbose, cwd=WORK, stdout=subprocess.DEVNULL,
                              stderr=open(WORK + "/soak.log", "w"))
    in_use = HeapInUse(WORK + "/soak.log")

    start, shown, samples, next_sample = time.monotonic(), 0, [], time.monotonic() + 10
    end = start + opts.minutes * 60
    while time.monotonic() < end and player.poll() is None:
        if select.select([status], [], [], 0.5)[0]:
            shown += is_composition_change(status.recv(65536))
        if time.monotonic() >= next_sample:
            next_sample += 10
            samples.append(dict(sample(player.pid, in_use), t=round(time.monotonic() - start), shown=shown))
            print(json.dumps(samples[-1]), flush=True)
    alive = player.poll() is None
    player.kill(), player.wait()
    if not alive:
        sys.exit("soak: the player ended by itself (see %s/soak.log)" % WORK)

    steady = [s for s in samples if s["t"] >= opts.warmup]
    if len(steady) < 3 or steady[-1]["shown"] == steady[0]["shown"]:
        sys.exit("soak: too short or nothing shown after the warm-up (%d compositions in all)" % shown)
    per = 1000.0 / (steady[-1]["shown"] - steady[0]["shown"])
    third = max(1, len(steady) // 3)
    print("compositions: %d in %.0f s; after warm-up, per 1000 compositions: RSS %+.0f KiB, fds %+.1f, threads %+.1f, "
          "helper processes %+.1f" % (shown, time.monotonic() - start, *[(steady[-1][k] - steady[0][k]) * per
                                      for k in ("rss_kib", "fds", "threads", "children")]))

    def slope(key):
        """Least-squares growth of one figure per 1000 compositions: less at the mercy of the
        moment of the two end samples than their difference."""
        xs, ys = [s["shown"] for s in steady], [s[key] for s in steady]
        mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
        return 1000.0 * sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
    print("least-squares slope per 1000 compositions: " + ", ".join(
          "%s %+.0f KiB" % (k, slope(k)) for k in ("rss_kib", "heap", "anon", "shm", "file", "in_use")
          if all(k in s for s in steady)) + "; fds %+.1f, threads %+.1f" % (slope("fds"), slope("threads")))
    print("highest RSS: first third %d KiB, last third %d KiB" % (max(s["rss_kib"] for s in steady[:third]),
                                                               max(s["rss_kib"] for s in steady[-third:])))
    # Counts move with what is on screen at the moment of a sample, so the highest of the
    # last third is held against the highest of the first third, with a small margin.
    growing = [k for k, margin in (("fds", 8), ("threads", 4))
               if max(s[k] for s in steady[-third:]) > max(s[k] for s in steady[:third]) + margin]
    if growing:
        print("soak: growing after the warm-up: " + ", ".join(growing))
    sys.exit(1 if opts.check and growing else 0)


if __name__ == "__main__":
    main()
