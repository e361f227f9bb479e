#!/usr/bin/env python3
"""The real player against the development signage server: the proof-of-play log
(one line per composition, written as it leaves, with why it left; rotation; an
unwritable path that leaves playback running) and the systemd watchdog pings.
Runs only inside tests/isolate.sh --net --x."""

import json
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_playlog: run me through tests/isolate.sh --net --x")
SOURCE, BINARY = os.environ["PLAYER_SOURCE_DIR"], os.environ["PLAYER_BINARY_DIR"]
REMOTE = os.path.join(BINARY, "tools", "player-remote", "player-remote")
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "playlog")
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def receiver(sock, into):
    def run():
        while True:
            try:
                into.append((time.monotonic(), sock.recv(65536).decode()))
            except OSError:
                return
    threading.Thread(target=run, daemon=True).start()


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end and not predicate():
        time.sleep(0.05)
    return predicate()


content = os.path.join(WORK, "content")
os.makedirs(os.path.join(content, "schedules"))
for name, colour in (("a", "red"), ("b", "blue"), ("c", "green")):
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:" + colour, os.path.join(content, name + ".png")], check=True)


def schedule(uid, elements):
    with open(os.path.join(content, "schedules", uid + ".json"), "w") as out:
        json.dump({"schedule": {"schedule_uid": uid, "private": True, "sequences": [{
            "diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
            "sequence": {"global_properties": {"duration": 1500}, "elements": [
                {"type": "Image", "duration": d, "attributes": {"source": s}} for s, d in elements]}}]}}, out)


schedule("S1", [("/a.png", 1500), ("/missing.png", 1500), ("/b.png", 0)])
schedule("S2", [("/c.png", 0)])
with open(os.path.join(content, "devices.json"), "w") as out:
    json.dump({"default": "S1"}, out)
server = subprocess.Popen([sys.executable, os.path.join(SOURCE, "tools", "signage-server.py"), "--content", content,
                           "--port", "0"], stderr=subprocess.PIPE, text=True)
PORT = re.search(r":(\d+)$", server.stderr.readline().strip()).group(1)

try:
    status = []
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("0.0.0.0", 8001))
    receiver(listener, status)


    def run_player(name, args, ini, env=None):
        cwd = os.path.join(WORK, name)
        os.makedirs(cwd)
        with open(os.path.join(cwd, "player.ini"), "w") as out:
            out.write("[json]\nhost=127.0.0.1\nport=%s\n[log]\n%s" % (PORT, ini))
        del status[:]
        log = open(os.path.join(cwd, "player.out"), "w+")
        return subprocess.Popen([os.environ["PLAYER_EXE"], "--deviceUid=scr"] + args, cwd=cwd, stdout=log,
                                stderr=subprocess.STDOUT, env=dict(os.environ, **(env or {}))), log, cwd


    def remote(*args):
        subprocess.run([REMOTE] + list(args) + ["--to", "127.0.0.1", "--device", "scr"], check=True,
                       stdout=subprocess.DEVNULL, timeout=10)


    # ---- Run 1: the log from player.ini, rotated, and the watchdog ----------------
    notify_path = os.path.join(WORK, "notify")
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(notify_path)
    pings = []
    receiver(notify, pings)
    player, out, cwd = run_player("run1", [], "playLog=logs/play.log\nmaxSize=700\n",
                                  {"NOTIFY_SOCKET": notify_path, "WATCHDOG_USEC": "600000"})
    try:
        check(wait_for(lambda: len(pings) >= 4, 20) and pings[0][1] == "READY=1"
              and all(p == "WATCHDOG=1" for _, p in pings[1:]), "READY=1, then WATCHDOG=1: %s" % [p for _, p in pings[:4]])
        time.sleep(1)
        gaps = sorted(b[0] - a[0] for a, b in zip(pings[1:], pings[2:]))
        check(0.2 < gaps[len(gaps) // 2] < 0.45, "pings every half of WATCHDOG_USEC (median %.3f s)" % gaps[len(gaps) // 2])
        player.send_signal(signal.SIGSTOP)
        stopped = len(pings)
        time.sleep(1.5)
        check(len(pings) == stopped, "no ping while the GUI thread cannot run")
        player.send_signal(signal.SIGCONT)
        check(wait_for(lambda: len(pings) >= stopped + 3, 3), "pings resume with the event loop")

        logfile = os.path.join(cwd, "logs", "play.log")
        check(wait_for(lambda: len(status) >= 2, 20) and wait_for(lambda: os.path.exists(logfile), 2)
              and len(open(logfile).readlines()) == 1, "the first line is on disk when the first composition has left")
        if check(wait_for(lambda: len(status) >= 3, 10), "the third composition is announced"):
            remote("next")
            if check(wait_for(lambda: len(status) >= 4, 10), "next shows the first composition again"):
                remote("play", "--schedule", "S2")
                check(wait_for(lambda: len(status) >= 5, 10), "S2 plays")
    finally:
        player.kill()
        player.wait()
    lines = []
    for path in (os.path.join(cwd, "logs", "play.log.1"), os.path.join(cwd, "logs", "play.log")):
        lines += [json.loads(line) for line in open(path)] if os.path.exists(path) else []
    check(os.path.exists(os.path.join(cwd, "logs", "play.log.1")), "the log was rotated past maxSize")
    expected = [(0, "/a.png", "duration"), (1, "/missing.png", "error"), (2, "/b.png", "remote"), (0, "/a.png", "reload")]
    check([(r.get("element"), r.get("source"), r.get("ended")) for r in lines] == expected,
          "one line per composition, with how it ended: %s" % lines)
    stamp = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
    check(all(stamp.match(r["start"]) and stamp.match(r["end"]) and r["start"] <= r["end"] and r["schedule"] == "S1"
              and r["sequence"] == 0 and r["type"] == "Image" and r["device"] == "scr" for r in lines),
          "ISO 8601 times with offset, schedule, sequence, type and device on every line")
    check(all(a["end"] <= b["start"] for a, b in zip(lines, lines[1:])) and lines and lines[0]["shown_ms"] >= 1400,
          "records follow each other; the first stayed its 1500 ms")

    # ---- Run 2: the command line wins, and an unwritable path costs one warning ---
    open(os.path.join(WORK, "afile"), "w").close()
    player, out, cwd = run_player("run2", ["--play-log=" + os.path.join(WORK, "afile", "play.log")], "playLog=ini.log\n")
    try:
        check(wait_for(lambda: len(status) >= 3, 20) and player.poll() is None, "playback goes on with an unwritable log")
    finally:
        player.kill()
        player.wait()
    out.seek(0)
    warnings = [line for line in out if "play log: cannot write" in line]
    check(len(warnings) == 1 and not os.path.exists(os.path.join(cwd, "ini.log")),
          "one warning, and --play-log wins over player.ini: %s" % warnings)
finally:
    server.kill()
    if failures:
        for name in ("run1", "run2"):
            path = os.path.join(WORK, name, "player.out")
            print(name, open(path).read()[-1500:] if os.path.exists(path) else "-")
sys.exit(1 if failures else 0)
