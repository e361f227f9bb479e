#!/usr/bin/env python3
"""The Debian package: built by CPack from this build, its file list and control
data checked, unpacked into a throw-away root, and its kiosk service's command line
run from there the way systemd would (an unprivileged user, cage nested in the
test's Xvfb, Qt on Wayland) against its own demo server; grim's screenshot must
show the demo filling cage's output. Runs only inside tests/isolate.sh --net --x."""

import glob
import json
import os
import pwd
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_package: run me through tests/isolate.sh --net --x")
BINARY = os.environ["PLAYER_BINARY_DIR"]
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=300, **kwargs).stdout


# A root the unprivileged user can walk through (the test's own tmp is private).
work = tempfile.mkdtemp(prefix="player-package.")
os.chmod(work, 0o755)
processes = []
try:
    run("cpack", "--config", os.path.join(BINARY, "CPackConfig.cmake"), "-B", work)
    debs = glob.glob(os.path.join(work, "player_*.deb"))
    if not check(len(debs) == 1, "cpack made one package: %s" % debs):
        sys.exit(1)
    files = run("dpkg-deb", "-c", debs[0])
    for path in ("usr/bin/player", "usr/bin/player-remote", "usr/bin/player-signage-server",
                 "usr/lib/systemd/system/player.service", "usr/lib/systemd/system/player-demo-server.service",
                 "etc/player/player.ini", "usr/share/player/demo/schedules/DEMO-0001.json",
                 "usr/share/player/demo/video/clip.mp4", "usr/share/player/demo/images/welcome.png",
                 "usr/share/doc/player/setup.md"):
        check(re.search(r" \./%s$" % re.escape(path), files, re.M), "the package holds /" + path)
    info = run("dpkg-deb", "-I", debs[0])
    depends = re.search(r"^ Depends: (.*)$", info, re.M).group(1)
    check(all(re.search(r"(^|, )%s( |,|$)" % p, depends) for p in ("cage", "xwayland", "qtwayland5", "libvlc5",
                                                                    "libqt5webengine5", "vlc-plugin-base", "python3")),
          "Depends names Debian's packages, libraries found by dpkg-shlibdeps: " + depends)
    conffiles = subprocess.run(["dpkg-deb", "-I", debs[0], "conffiles"], capture_output=True, text=True).stdout
    check("/etc/player/player.ini" in conffiles.split(), "player.ini is a conffile: %r" % conffiles)
    check("postinst" in info and "adduser --system" in run("dpkg-deb", "-I", debs[0], "postinst"),
          "postinst creates the dedicated user")

    root = os.path.join(work, "root")
    run("dpkg-deb", "-x", debs[0], root)
    unit = open(os.path.join(root, "usr/lib/systemd/system/player.service")).read()
    keys = {}
    for line in unit.splitlines():
        if "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            keys.setdefault(key, []).append(value)
    check(keys.get("User") == ["player"] and keys.get("Restart") == ["always"] and keys.get("Type") == ["notify"]
          and keys.get("WatchdogSec") and os.path.isfile(os.path.join(root, keys["WorkingDirectory"][0][1:],
                                                                       "player.ini")),
          "the unit: user player, restarted always, watchdog on, player.ini in its working directory")
    check(keys["ExecStart"][0].startswith("/usr/bin/cage ") and "QT_QPA_PLATFORM=wayland" in keys["Environment"],
          "the unit runs the player in cage on Qt's Wayland platform")

    # The service's environment and command line, paths moved into the root; the
    # log directory systemd would make becomes one the user may write.
    user = pwd.getpwnam("nobody")
    logs, runtime, home = (os.path.join(work, d) for d in ("logs", "runtime", "home"))
    for d in (logs, runtime, home):
        os.makedirs(d, mode=0o700)
        os.chown(d, user.pw_uid, user.pw_gid)
    env = dict(kv.split("=", 1) for kv in keys["Environment"])
    for line in open(os.path.join(root, "etc/default/player")):
        if re.match(r"^\w+=", line):
            key, value = line.strip().split("=", 1)
            env[key] = " ".join(shlex.split(value))

    def moved(word):
        head, sep, path = word.rpartition("=") if word.startswith("--") else ("", "", word)
        if path.startswith("/var/log/player"):
            return head + sep + logs + path[len("/var/log/player"):]
        return head + sep + (root + path if path.startswith("/") and os.path.exists(root + path) else path)

    command = [moved(w) for w in shlex.split(keys["ExecStart"][0].replace("$PLAYER_ARGS", env.pop("PLAYER_ARGS")))]
    env.update(PATH="/usr/bin:/bin", HOME=home, DISPLAY=os.environ["DISPLAY"], XDG_RUNTIME_DIR=runtime,
               WLR_BACKENDS="x11", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
    as_user = ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups", "env", "-i"]
    server_cmd = [moved(w) for w in shlex.split(
        open(os.path.join(root, "usr/lib/systemd/system/player-demo-server.service")).read().split("ExecStart=")[1]
        .splitlines()[0])]
    processes.append(subprocess.Popen(as_user + ["PATH=/usr/bin:/bin"] + server_cmd, stderr=subprocess.DEVNULL))
    for _ in range(100):  # as systemd would, start the player once the server is ready
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", 8080)) == 0:
                break
        time.sleep(0.1)
    kiosk_log = open(os.path.join(work, "kiosk.log"), "w")
    processes.append(subprocess.Popen(as_user + ["%s=%s" % kv for kv in env.items()] + command,
                                      cwd=moved(keys["WorkingDirectory"][0]), stdout=kiosk_log, stderr=subprocess.STDOUT))

    # The welcome picture (dark blue at the top) with the schedule's QR code, then
    # the page-builder page (two reds) once the picture has had its time.
    def grab(name):
        shot = os.path.join(runtime, name + ".png")  # where the user may write
        done = subprocess.run(as_user + ["XDG_RUNTIME_DIR=" + runtime, "WAYLAND_DISPLAY=wayland-0", "grim", shot],
                              capture_output=True, timeout=20)
        return shot if done.returncode == 0 else None

    def colour(shot, x, y):
        at = "p{%d,%d}" % (x, y)
        out = run("/usr/bin/convert", shot, "-format", ",".join("%[fx:int(255*" + at + c + ")]" for c in (".r", ".g", ".b")),
                  "info:")
        return tuple(int(v) for v in out.split(","))

    def near(a, b):
        return all(abs(p - q) <= 30 for p, q in zip(a, b))

    seen = {}
    end = time.monotonic() + 60
    while time.monotonic() < end and len(seen) < 2:
        shot = grab("screen")
        if shot:
            size = run("/usr/bin/convert", shot, "-format", "%w %h", "info:").split()
            w, h = int(size[0]), int(size[1])
            top = (31, 78, 121)
            if near(colour(shot, 2, 2), top) and near(colour(shot, w - 3, 2), top) and "welcome" not in seen:
                qr = subprocess.run(["zbarimg", "--nodbus", "--quiet", "--raw", shot], capture_output=True, text=True)
                seen["welcome"] = (qr.stdout.strip(), w, h)
            elif near(colour(shot, w // 4, h // 4), (139, 26, 26)) and near(colour(shot, 3 * w // 4, h // 4), (178, 34, 34)):
                seen["page"] = (w, h)
        time.sleep(0.5)
    check("welcome" in seen and seen["welcome"][0] == "DEMO-0001",
          "grim shows the welcome picture across cage's output with the QR code of DEMO-0001: %s" % (seen.get("welcome"),))
    check("page" in seen, "then the page-builder page, drawn by the sandboxed web engine")
    played = [json.loads(line) for line in open(os.path.join(logs, "play.log"))] if os.path.exists(
        os.path.join(logs, "play.log")) else []
    check(played and played[0]["schedule"] == "DEMO-0001" and played[0]["device"] == "demo-screen",
          "the service's play log records the demo for device demo-screen: %s" % played[:1])
finally:
    for process in reversed(processes):
        process.kill()
        process.wait()
    if failures and os.path.exists(os.path.join(work, "kiosk.log")):
        sys.stdout.write(open(os.path.join(work, "kiosk.log")).read()[-3000:])
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
