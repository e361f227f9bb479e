#!/usr/bin/env python3
"""The Debian package from CPack: its files, control data and lintian's verdict; unpacked, its kiosk service's command
line run as systemd would (an unprivileged user with no privileges to gain, cage nested in Xvfb, Qt on Wayland) against
its demo server, grim's screenshots and the web engine's sandbox checked. Runs only inside tests/isolate.sh --net --x."""
import glob, json, os, pwd, re, shlex, shutil, socket, subprocess, sys, tempfile, time  # noqa: E401

from support import check, failures, require_isolation, wait_for

require_isolation("e2e_package")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=300).stdout


work = tempfile.mkdtemp(prefix="player-package.")  # the test's own tmp is closed to other users
os.chmod(work, 0o755)
root, logs, runtime, home = (os.path.join(work, d) for d in ("root", "logs", "runtime", "home"))
processes = []
try:
    run("cpack", "--config", os.path.join(os.environ["PLAYER_BINARY_DIR"], "CPackConfig.cmake"), "-B", work)
    deb = glob.glob(os.path.join(work, "player_*.deb"))[0]
    files = run("dpkg-deb", "-c", deb)
    missing = [p for p in ("usr/bin/player", "usr/bin/player-remote", "usr/bin/player-signage-server", "etc/player/player.ini",
                           "usr/lib/systemd/system/player.service", "usr/lib/systemd/system/player-demo-server.service",
                           "usr/share/player/demo/schedules/DEMO-0001.json", "usr/share/player/demo/video/clip.mp4",
                           "usr/share/player/demo/images/welcome.png", "usr/share/doc/player/setup.md")
               if not re.search(r" \./%s$" % re.escape(p), files, re.M)]
    check(not missing and ".made" not in files, "the package holds the programs, units, settings, demo and docs: %s" % missing)
    depends = run("dpkg-deb", "-f", deb, "Depends")
    check(all(re.search(r"(^|, )%s( |,|$)" % p, depends) for p in ("cage", "xwayland", "qtwayland5", "libvlc5",
                                                                    "libqt5webengine5", "vlc-plugin-base", "python3")),
          "Depends: Debian's package names, libraries found by dpkg-shlibdeps: " + depends)
    check("/etc/player/player.ini" in run("dpkg-deb", "-I", deb, "conffiles").split()
          and "adduser --system" in run("dpkg-deb", "-I", deb, "postinst"), "player.ini is a conffile; postinst adds the user")
    lintian = subprocess.run(["lintian", deb], capture_output=True, text=True, timeout=300).stdout
    check(not re.findall(r"^E: .*", lintian, re.M), "lintian: no error: %s" % re.findall(r"^E: .*", lintian, re.M))

    run("dpkg-deb", "-x", deb, root)
    unit = {}
    for line in open(os.path.join(root, "usr/lib/systemd/system/player.service")):
        if re.match(r"^\w+=", line):
            unit.setdefault(line.split("=", 1)[0], []).append(line.strip().split("=", 1)[1])
    check(unit["User"] == ["player"] and unit["Restart"] == ["always"] and unit["Type"] == ["notify"] and unit["WatchdogSec"]
          and unit["ExecStart"][0].startswith("/usr/bin/cage ") and "QT_QPA_PLATFORM=wayland" in unit["Environment"]
          and os.path.isfile(root + unit["WorkingDirectory"][0] + "/player.ini"),
          "the unit: cage, Wayland, user player, restarted always, watchdog, player.ini in its working directory")

    # The service's environment and command line with its paths moved into the root;
    # the log directory systemd would make becomes one the user may write.
    user = pwd.getpwnam("nobody")
    for d in (logs, runtime, home):
        os.makedirs(d, mode=0o700)
        os.chown(d, user.pw_uid, user.pw_gid)
    env = dict(kv.split("=", 1) for kv in unit["Environment"])
    env.update(re.findall(r'^(\w+)="?(.*?)"?$', open(os.path.join(root, "etc/default/player")).read(), re.M))

    def moved(word):
        head, sep, path = word.rpartition("=") if word.startswith("--") else ("", "", word)
        path = path.replace("/var/log/player", logs)
        return head + sep + (root + path if path.startswith("/") and os.path.exists(root + path) else path)

    def as_user(*args, **kwargs):
        processes.append(subprocess.Popen(["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups",
                                           "--no-new-privs", "--bounding-set=-all", "env", "-i", "PATH=/usr/bin:/bin",
                                           "XDG_RUNTIME_DIR=" + runtime, *args], umask=0o077, **kwargs))
        return processes[-1]

    demo_unit = open(os.path.join(root, "usr/lib/systemd/system/player-demo-server.service")).read()
    as_user(*map(moved, shlex.split(re.search(r"^ExecStart=(.*)$", demo_unit, re.M).group(1))), stderr=subprocess.DEVNULL)
    wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", 8080)) == 0, 10)  # as Type=notify orders it
    command = [moved(w) for w in shlex.split(unit["ExecStart"][0].replace("$PLAYER_ARGS", env.pop("PLAYER_ARGS")))]
    kiosk = as_user(*["%s=%s" % kv for kv in env.items()], "HOME=" + home, "DISPLAY=" + os.environ["DISPLAY"],
                    "WLR_BACKENDS=x11", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", *command,
                    cwd=moved(unit["WorkingDirectory"][0]),
                    stdout=open(os.path.join(work, "kiosk.log"), "w"), stderr=subprocess.STDOUT, start_new_session=True)

    def near(shot, x, y, rgb):
        at = "p{%d,%d}" % (x, y)
        got = run("/usr/bin/convert", shot, "-format", ",".join("%[fx:int(255*" + at + c + ")]" for c in ".r .g .b".split()),
                  "info:")
        return all(abs(int(p) - q) <= 30 for p, q in zip(got.split(","), rgb))

    # The welcome picture (dark blue along the top) with the QR code of the public
    # schedule, then the page-builder page (two reds) once the picture and the clip have played.
    seen, shot, end = {}, os.path.join(runtime, "shot.png"), time.monotonic() + 60
    while time.monotonic() < end and len(seen) < 2:
        time.sleep(0.5)
        if as_user("WAYLAND_DISPLAY=wayland-0", "grim", shot).wait(20) != 0:
            continue
        w, h = map(int, run("/usr/bin/convert", shot, "-format", "%w %h", "info:").split())
        if "welcome" not in seen and near(shot, 2, 2, (31, 78, 121)) and near(shot, w - 3, 2, (31, 78, 121)):
            seen["welcome"] = (run("zbarimg", "--nodbus", "--quiet", "--raw", shot).strip(), w, h)
        elif near(shot, w // 4, h // 4, (139, 26, 26)) and near(shot, 3 * w // 4, h // 4, (178, 34, 34)):
            seen["page"] = (w, h)
    check(seen.get("welcome", [""])[0] == "DEMO-0001", "grim: the welcome picture across the output, QR code DEMO-0001: %s"
          % (seen.get("welcome"),))
    check("page" in seen, "grim: then the page-builder page, drawn by the web engine")
    kiosk_ns = [line.split() for line in run("ps", "-s", str(kiosk.pid), "-o", "userns=,comm=").splitlines()]
    check({ns for ns, name in kiosk_ns if name == "QtWebEngineProc"} - {ns for ns, name in kiosk_ns if name == "cage"},
          "the web engine's sandbox on: some of its processes in a user namespace of their own: %s" % kiosk_ns)
    played = [json.loads(line) for line in open(os.path.join(logs, "play.log"))]
    check((played[0]["schedule"], played[0]["device"]) == ("DEMO-0001", "demo-screen"), "the service's play log: %s" % played[0])
except Exception as error:  # a broken expectation above, reported with the kiosk's output
    check(False, "%s: %s" % (type(error).__name__, error))
finally:
    for process in reversed(processes):
        process.kill()
        process.wait()
    if failures and os.path.exists(os.path.join(work, "kiosk.log")):
        print("".join(line for line in open(os.path.join(work, "kiosk.log")) if "Basic output test" not in line)[-3000:])
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
