#!/usr/bin/env python3
"""The real player, end to end, driven by player-remote and raw datagrams: its help,
its start-up lines, screenshots of the private Xvfb screen checked pixel by pixel
against the status datagrams it broadcasts, the device filter, a sync to another
server and a schedule with malformed parts. Runs only inside isolate.sh --net --x."""

import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_scene: run me through tests/isolate.sh --net --x")

PLAYER = os.environ["PLAYER_EXE"]
REMOTE = os.path.join(os.environ["PLAYER_BINARY_DIR"], "tools", "player-remote", "player-remote")
CONVERT = "/usr/bin/convert"
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "e2e")
os.makedirs(WORK, exist_ok=True)
DEADLINE = time.monotonic() + 220  # the whole run, whatever happens
DEVICE = "SCREEN-1"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


# ---- Help: printed and left with status 0, also for a bare -h after other options --

USAGE = ('"Usage: player [options]\\n\\nExample: player -h=[HOST] -port=[PORT] \\n\\noptions:\\n'
         '      --help -h : show the help menu\\n      --deviceUid -d : set device UID\\n'
         '      --host -h : set host\\n      --port -p : set port\\n      --json -j : set json sequence\\n'
         '      --verbose -v : display debug\\n      --startDate : set start date\\n      --endDate : set end date\\n"')
for args in (["--help"], ["-h"], ["-v", "--host=a", "-h"]):
    done = subprocess.run([PLAYER] + args, capture_output=True, text=True, timeout=30)
    check(done.returncode == 0 and done.stdout.strip() + done.stderr.strip() == USAGE,
          "%s prints the usage and exits 0 (status %d)" % (" ".join(args), done.returncode))

# ---- Content and server -------------------------------------------------

COLOURS = {"red": (255, 0, 0), "green": (0, 255, 0), "blue": (0, 0, 255), "cyan": (0, 255, 255)}
for name, rgb in COLOURS.items():
    subprocess.run([CONVERT, "-size", "64x64", "xc:#%02x%02x%02x" % rgb, os.path.join(WORK, name + ".png")], check=True)
for name, colour in (("page", "#ffff00"), ("pb", "#ff00ff")):
    with open(os.path.join(WORK, name + ".html"), "w") as out:
        out.write("<!doctype html><html><body style='margin:0;background:%s'></body></html>" % colour)


class QuietHandler(SimpleHTTPRequestHandler):
    requests = []

    def log_message(self, *args):
        pass

    def do_GET(self):
        QuietHandler.requests.append(self.path)
        if "schedule_uid=SLOW" in self.path:
            time.sleep(1.5)
        super().do_GET()


server = ThreadingHTTPServer(("127.0.0.1", 0), partial(QuietHandler, directory=WORK))
PORT = server.server_address[1]
HOST_PORT = "127.0.0.1:%d" % PORT
threading.Thread(target=server.serve_forever, daemon=True).start()

ALWAYS = {"weekdays": ["All"], "dates": {}, "hours": {}}
# Slow changes: a loaded machine draws few frames, and some must fall mid-way.
enter = {"property": "x", "from": "width", "to": 0, "duration": 4000}
leave = {"property": "x", "from": 0, "to": "-mainWindow.width", "duration": 4000}
schedule = {"schedule": {"schedule_uid": "E2E-42", "sequences": [{
    "diffusion": ALWAYS,
    "sequence": {
        "global_properties": {"duration": 60000, "transitions": {"enter": enter, "exit": leave}},
        "elements": [
            {"type": "Image", "duration": 4000, "hueColor": {"h": 120}, "fragrance": 0, "attributes": {"source": "/red.png"}},
            {"type": "Image", "duration": 8000, "hueColor": None, "fragrance": None,
             "attributes": {"source": "file://" + WORK + "/green.png"}},
            {"type": "WebView", "attributes": {"source": "http://%s/page.html" % HOST_PORT}},
            {"type": "PageBuilder", "attributes": {"source": "/pb.html"}},
        ]}}]}}
DOC = os.path.join(WORK, "doc.json")
with open(DOC, "w") as out:
    json.dump(schedule, out)


def serve_schedule(document):
    """What the server answers to every /ws/stream.php request, whatever the query."""
    os.makedirs(os.path.join(WORK, "ws"), exist_ok=True)
    with open(os.path.join(WORK, "ws", "stream.php"), "w") as out:
        json.dump(document, out)


# Another schedule, private, fetched by "play --schedule".
serve_schedule({"schedule": {"schedule_uid": "OTHER", "private": True, "sequences": [{
    "diffusion": ALWAYS, "sequence": {"global_properties": {"duration": 60000},
                                      "elements": [{"type": "Image", "attributes": {"source": "/cyan.png"}}]}}]}})

# ---- Status datagrams ---------------------------------------------------

status = []
status_lock = threading.Lock()
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
        with status_lock:
            status.append((time.monotonic(), data.decode("utf-8", "replace")))


threading.Thread(target=listen, daemon=True).start()


def wait_status(count, timeout=10):
    end = min(time.monotonic() + timeout, DEADLINE)
    while time.monotonic() < end:
        with status_lock:
            if len(status) >= count:
                return status[count - 1]
        time.sleep(0.02)
    return None


def remote(*args, device=DEVICE):
    subprocess.run([REMOTE, "--to", "127.0.0.1", "--device", device] + list(args), check=True,
                   stdout=subprocess.DEVNULL, timeout=10)


def datagram(port, message):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as out:
        out.sendto(json.dumps(message).encode(), ("127.0.0.1", port))


# ---- Screen -------------------------------------------------------------

def screenshot(name):
    """A raw dump of the screen: cheap enough to take in bursts while it changes."""
    path = os.path.join(WORK, name + ".xwd")
    with open(path, "wb") as out:
        subprocess.run(["xwd", "-root", "-silent", "-display", os.environ["DISPLAY"]], stdout=out, check=True, timeout=20)
    return "xwd:" + path


def pixel(path, x, y):
    fmt = "%[fx:int(255*p{X,Y}.r+0.5)],%[fx:int(255*p{X,Y}.g+0.5)],%[fx:int(255*p{X,Y}.b+0.5)]"
    out = subprocess.run([CONVERT, path, "-format", fmt.replace("X", str(x)).replace("Y", str(y)), "info:"],
                         check=True, capture_output=True, text=True, timeout=20).stdout
    return tuple(int(v) for v in out.strip().split(","))


def near(actual, expected, tolerance=40):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def expect_colour(path, points, colour, what):
    for x, y in points:
        got = pixel(path, x, y)
        if not check(near(got, colour), "%s: (%d,%d) is %s, expected %s" % (what, x, y, got, colour)):
            return False
    return True


def banner_seen(colour, base, what, seconds=3.5):
    """A burst of screenshots while the banner stays, looked at afterwards."""
    end = time.monotonic() + seconds
    shots = []
    while time.monotonic() < end:
        shots.append(screenshot("banner-%d" % len(shots)))
    seen = [pixel(shot, *BANNER) for shot in shots]
    return check(any(near(p, blend(colour, 200, base), 12) for p in seen), "%s: %s" % (what, seen))


MIDDLE = [(960, 540), (300, 300), (1500, 700)]
BANNER = (1600, 50)        # inside the banner: top right, 10 from the edges, 80 high, at least 320 wide
QR_MARGIN = (1825, 985)    # inside the QR overlay's white square, right of and below a small symbol


def blend(colour, alpha, base):
    return tuple(round(c * alpha / 255 + b * (255 - alpha) / 255) for c, b in zip(colour, base))


def infos_of(message):
    return json.loads(message).get("infos", {})


def source_of(message):
    return infos_of(message).get("source")


# ---- The run ------------------------------------------------------------

env = dict(os.environ, QSG_RENDER_LOOP="basic")
LOG = os.path.join(WORK, "player.log")
player_log = open(LOG, "w")
# Short and long forms, a date that does not exist (left out) and a -p without value (ignored).
player = subprocess.Popen([PLAYER, "--json=" + DOC, "-h", "127.0.0.1", "--port=%d" % PORT, "-d", DEVICE,
                           "--startDate=2026-01-01", "--endDate=2026-02-30", "-v", "-p"],
                          cwd=WORK, env=env, stdout=player_log, stderr=subprocess.STDOUT)
try:
    first = wait_status(1, 20)
    if check(first is not None, "the first composition is announced"):
        check(first[1] == '{"cmd":"player_composition_changed","id":"auto","device_id":"SCREEN-1",'
                          '"infos":{"type":"Image","source":"/red.png","duration":4000,"hueColor":{"h":120},"fragrance":"on"}}',
              "first status datagram, byte for byte: " + first[1])
        time.sleep(0.8)
        red_shot = screenshot("1-red")  # looked at while the player is paused

    # After its 4000 ms the red image leaves to the left while green enters from the right.
    second = wait_status(2, 7)
    if check(second is not None and source_of(second[1]).endswith("/green.png"), "green follows red by itself"):
        check(sorted(infos_of(second[1])) == ["duration", "source", "type"], "null extras are left out")
        # Software rendering draws few frames a second: a burst of screenshots over the change.
        shots = []
        while time.monotonic() < second[0] + 4.5:
            shots.append(screenshot("2-midway-%d" % len(shots)))
        remote("pause")
        paused = wait_status(3, 3)
        check(paused is not None and paused[1] == '{"cmd":"player_is_paused","id":"auto","device_id":"SCREEN-1"}',
              "pause answered with player_is_paused")
        banner_seen((255, 255, 255), COLOURS["green"], "banner \"Pause\" in the default colour at the top right")
        shot = screenshot("4-paused")
        expect_colour(shot, MIDDLE, COLOURS["green"], "green image by file URL")
        midway = [(pixel(shot, 100, 540), pixel(shot, 1820, 540)) for shot in shots]
        check(any(near(left, COLOURS["red"]) and near(right, COLOURS["green"]) for left, right in midway),
              "mid-way: red still on the left, green coming in on the right: %s" % midway)
        if first is not None:
            expect_colour(red_shot, MIDDLE, COLOURS["red"], "red image from the server")
            check(near(pixel(red_shot, *QR_MARGIN), (255, 255, 255), 10), "QR overlay: white square in the lower right corner")
            crop = os.path.join(WORK, "qr.png")
            subprocess.run([CONVERT, red_shot, "-crop", "260x260+1660+820", "+repage", crop], check=True)
            decoded = subprocess.run(["zbarimg", "--nodbus", "--quiet", "--raw", crop], capture_output=True, text=True)
            check(decoded.stdout.strip() == "E2E-42", "QR overlay decodes to the schedule identifier: %r" % decoded.stdout)
        time.sleep(max(0.0, second[0] + 9.0 - time.monotonic()))
        check(len(status) == 3, "nothing advanced while paused")
        remote("resume")
        resumed = wait_status(4, 3)
        check(resumed is not None and json.loads(resumed[1])["cmd"] == "player_is_resumed", "resume answered with player_is_resumed")
        web = wait_status(5, 11)
        if check(web is not None and infos_of(web[1]) == {"type": "WebView", "source": "http://%s/page.html" % HOST_PORT,
                                                            "duration": 60000}, "the web page follows green, for the sequence's duration"):
            time.sleep(4.5)
            expect_colour(screenshot("5-web"), MIDDLE, (255, 255, 0), "local web page")

    remote("next")
    builder = wait_status(6, 5)
    if check(builder is not None and source_of(builder[1]) == "http://%s/pb.html" % HOST_PORT,
             "next: the page-builder page with its completed source"):
        time.sleep(4.5)
        expect_colour(screenshot("6-pagebuilder"), MIDDLE, (255, 0, 255), "page-builder page")
        check("/pb.html" in QuietHandler.requests, "the page-builder path was fetched from the server")

    remote("previous")
    back = wait_status(7, 5)
    if check(back is not None and infos_of(back[1]).get("type") == "WebView", "previous: the web page again"):
        time.sleep(4.5)
        expect_colour(screenshot("7-previous"), MIDDLE, (255, 255, 0), "web page after previous")

    # Commands for another device, or in other letters, are not carried out.
    remote("next", device="screen-1")
    remote("next", device="OTHER")
    time.sleep(1.5)
    check(len(status) == 7, "commands for another device identifier are ignored")

    remote("notify", "Careful", "--level", "warning")
    banner_seen((255, 234, 181), (255, 255, 0), "WARNING banner colour over the yellow page")
    remote("notify", "Attention", "--level", "ALERT")
    banner_seen((245, 198, 203), (255, 255, 0), "ALERT banner colour over the yellow page")

    # Another schedule, private: the QR code goes.
    remote("play", "--schedule", "S-7")
    other = wait_status(8, 8)
    if check(other is not None and source_of(other[1]) == "/cyan.png", "play --schedule shows the other schedule"):
        check(any(p.startswith("/ws/stream.php?action=getSchedule&schedule_uid=S-7&standalone=0")
                  for p in QuietHandler.requests), "the other schedule was fetched by its identifier")
        time.sleep(1.0)
        expect_colour(screenshot("9-other"), MIDDLE + [QR_MARGIN], COLOURS["cyan"], "other schedule, without QR code")

    remote("play")
    again = wait_status(9, 8)
    if check(again is not None and source_of(again[1]) == "/red.png", "play without schedule returns to the default"):
        time.sleep(0.8)
        shot = screenshot("10-default")
        expect_colour(shot, MIDDLE, COLOURS["red"], "default schedule again")
        check(near(pixel(shot, *QR_MARGIN), (255, 255, 255), 10), "QR code shown again")

    # Only the newest request counts: a late answer to an earlier one is dropped.
    remote("play", "--schedule", "SLOW")
    remote("play")
    newest = wait_status(10, 8)
    check(newest is not None and source_of(newest[1]) == "/red.png", "the default schedule, asked for last, plays")
    time.sleep(2.5)
    check(len(status) == 10, "the late answer to the earlier request is ignored")

    # A sync moves the player to the server's own schedule under a new identifier; a
    # port that is not a number keeps the one in force. The served schedule has
    # malformed parts around the one image that can play.
    serve_schedule({"schedule": {"schedule_uid": "SYNCED", "private": True, "sequences": [
        1, None, {"sequence": {"elements": []}}, {"diffusion": ALWAYS},
        {"diffusion": ALWAYS, "sequence": {"global_properties": {"duration": 60000}, "elements": [
            {"type": "Flash", "attributes": {"source": "/f.swf"}}, {"type": "Image"}, 7,
            {"type": "Image", "attributes": {"source": "/blue.png"}}]}}]}})
    datagram(9000, {"action": "sync", "host": "127.0.0.1", "port": "x%d" % PORT, "deviceUid": "SCREEN-2"})
    synced = wait_status(11, 8)
    if check(synced is not None and source_of(synced[1]) == "/blue.png", "after the sync the served schedule plays"):
        check(json.loads(synced[1])["device_id"] == "SCREEN-2", "the status carries the new identifier")
        check("/ws/stream.php?action=get&device_uid=SCREEN-2&startDate=2026-01-01" in QuietHandler.requests,
              "the schedule was asked for with the new identifier and the valid date: %s" % QuietHandler.requests[-1:])
        time.sleep(1.0)
        expect_colour(screenshot("11-synced"), MIDDLE, COLOURS["blue"], "the synced schedule's image")
        remote("next")
        time.sleep(1.5)
        check(len(status) == 11, "the old identifier is no longer obeyed")
finally:
    player.terminate()
    try:
        player.wait(10)
    except subprocess.TimeoutExpired:
        player.kill()
        player.wait()
    server.shutdown()
    player_log.close()

log = open(LOG).read()
for line in ['"FUNCTION - initConfig - BEGIN"', '"FUNCTION - initConfig :file://%s"' % DOC, '"FUNCTION - emptyCache - END"',
             "- DEBUG :%s:file://%s" % (HOST_PORT, DOC),
             "keepPlayableParts - sequence 0 skipped: not an object", "sequence 2 skipped: no diffusion",
             "sequence 3 skipped: no sequence", "sequence 4 element 0 skipped: unknown type \"Flash\"",
             "sequence 4 element 1 skipped: no attributes", "sequence 4 element 2 skipped: not an object"]:
    check(line in log, "verbose output has " + line)

if failures:
    start_time = status[0][0] if status else 0
    for at, text in status:
        print("  status at %6.0f ms: %s" % ((at - start_time) * 1000, text))
    print("\n%d check(s) failed; screenshots and player.log in %s" % (len(failures), WORK))
    keep = os.environ.get("E2E_KEEP")
    if keep:
        shutil.copytree(WORK, keep, dirs_exist_ok=True)
    sys.exit(1)
print("all checks passed")
