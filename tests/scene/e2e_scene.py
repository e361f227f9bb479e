#!/usr/bin/env python3
"""The real player, end to end, driven by player-remote: its help, screenshots of the private Xvfb screen checked
pixel by pixel against the status datagrams it broadcasts, the device filter, other schedules, a late answer and a
sync to another device identifier. Only inside tests/isolate.sh --net --x."""
import json, os, shutil, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (check, datagrams, element, failures, require_isolation, schedule, serve, solid_png,  # noqa: E402
                     start_player, stop, wait_for)

require_isolation("e2e_scene")
REMOTE = os.path.join(os.environ["PLAYER_BINARY_DIR"], "tools", "player-remote", "player-remote")
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "e2e")
os.makedirs(WORK, exist_ok=True)
DEVICE = "SCREEN-1"
COLOURS = {"red": (255, 0, 0), "green": (0, 255, 0), "blue": (0, 0, 255), "cyan": (0, 255, 255)}
YELLOW, MAGENTA, WHITE = (255, 255, 0), (255, 0, 255), (255, 255, 255)
MIDDLE = [(960, 540), (300, 300), (1500, 700)]
BANNER = (1600, 50)        # inside the banner: top right, 10 from the edges, 80 high, at least 320 wide
QR_MARGIN = (1825, 985)    # inside the QR overlay's white square, right of and below a small symbol

# The command line answers before any window: the usage and the version (status 0), a mistake (one line, status 2).
for args, status, start in ((["--help"], 0, "Usage: player [options]\n\n"), (["-v", "--host=a", "-h"], 0, "Usage: "),
                            (["--version"], 0, "player 1."), (["--port=eighty"], 2, "player: --port=eighty: not a ")):
    done = subprocess.run([os.environ["PLAYER_EXE"]] + args, capture_output=True, text=True, timeout=30)
    out = done.stdout if status == 0 else done.stderr
    check(done.returncode == status and out.startswith(start) and (status == 0 or out.count("\n") == 1),
          "%s: status %d, %r" % (" ".join(args), done.returncode, out[:60]))

def remote(*args, device=DEVICE):
    subprocess.run([REMOTE, "--to", "127.0.0.1", "--device", device] + list(args), check=True,
                   stdout=subprocess.DEVNULL, timeout=10)

def nth_status(count, timeout):
    """The count-th status datagram, (arrival, text), if it has come within `timeout` s."""
    return status[count - 1] if wait_for(lambda: len(status) >= count, timeout) else None

def infos(message):
    return json.loads(message[1]).get("infos", {}) if message else {}

def source(message):
    return infos(message).get("source", "")

def screenshot(name):
    """A raw dump of the screen: cheap enough to take in bursts while it changes."""
    path = os.path.join(WORK, name + ".xwd")
    with open(path, "wb") as out:
        subprocess.run(["xwd", "-root", "-silent", "-display", os.environ["DISPLAY"]], stdout=out, check=True, timeout=20)
    return "xwd:" + path

def burst(name, until):
    """Screenshots one after another until the monotonic time `until`: software rendering draws few frames."""
    shots = []
    while time.monotonic() < until:
        shots.append(screenshot("%s-%d" % (name, len(shots))))
    return shots

def pixel(path, x, y):
    fmt = "%[fx:int(255*p{X,Y}.r+0.5)],%[fx:int(255*p{X,Y}.g+0.5)],%[fx:int(255*p{X,Y}.b+0.5)]"
    out = subprocess.run(["/usr/bin/convert", path, "-format", fmt.replace("X", str(x)).replace("Y", str(y)), "info:"],
                         check=True, capture_output=True, text=True, timeout=20).stdout
    return tuple(int(v) for v in out.strip().split(","))

def near(actual, expected, tolerance=40):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))

def expect_colour(path, points, colour, what):
    for x, y in points:
        got = pixel(path, x, y)
        if not check(near(got, colour), "%s: (%d,%d) is %s, expected %s" % (what, x, y, got, colour)):
            return

# ---- Content, the server and its answers ---------------------------------

for name, rgb in COLOURS.items():
    solid_png(os.path.join(WORK, name + ".png"), "#%02x%02x%02x" % rgb)
for name, colour in (("page", "#ffff00"), ("pb", "#ff00ff")):
    with open(os.path.join(WORK, name + ".html"), "w") as out:
        out.write("<!doctype html><html><body style='margin:0;background:%s'></body></html>" % colour)
server = serve(WORK)
PORT = server.server_address[1]
HOST_PORT = "127.0.0.1:%d" % PORT

def schedules_asked():
    return [path for path in server.requests if path.startswith("/ws/")]

# Private schedules, asked for by exactly these paths: "play --schedule", and the device schedule after the sync.
for query, image, delay in (("getSchedule&schedule_uid=S-7&standalone=0", "/cyan.png", 0),
                            ("getSchedule&schedule_uid=SLOW&standalone=0", "/cyan.png", 1.5),
                            ("get&device_uid=SCREEN-2&startDate=2026-01-01", "/blue.png", 0)):
    server.answers["/ws/stream.php?action=" + query] = (200, schedule([element("Image", image)], 60000).encode(), delay)

# Public (its QR code shown); slow changes: a loaded machine draws few frames, and some must fall mid-way.
enter = {"property": "x", "from": "width", "to": 0, "duration": 4000}
leave = {"property": "x", "from": 0, "to": "-mainWindow.width", "duration": 4000}
DOC = os.path.join(WORK, "doc.json")
with open(DOC, "w") as out:
    json.dump({"schedule": {"schedule_uid": "E2E-42", "sequences": [{
        "diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
        "sequence": {
            "global_properties": {"duration": 60000, "transitions": {"enter": enter, "exit": leave}},
            "elements": [
                dict(element("Image", "red.png"), duration=4000, hueColor={"h": 120}, fragrance=0),
                dict(element("Image", WORK + "/green.png"), duration=8000, hueColor=None, fragrance=None),
                element("WebView", "http://%s/page.html" % HOST_PORT),
                element("PageBuilder", "/pb.html"),
            ]}}]}}, out)

# ---- The run ------------------------------------------------------------

status = datagrams(socket.AF_INET, ("0.0.0.0", 8001))
# Short and long forms; the schedule file by a relative path, its pictures by relative and absolute paths.
RED = "file://" + WORK + "/red.png"
player = start_player(["--json=doc.json", "-h", "127.0.0.1", "--port", str(PORT), "-d", DEVICE,
                       "--startDate=2026-01-01"], WORK, dict(os.environ, QSG_RENDER_LOOP="basic"))
try:
    first = nth_status(1, 20)
    if check(first and first[1] == '{"cmd":"player_composition_changed","id":"auto","device_id":"SCREEN-1",'
             '"infos":{"type":"Image","source":"%s","duration":4000,"hueColor":{"h":120},"fragrance":"on"}}' % RED,
             "first status datagram, byte for byte: %s" % (first,)):
        time.sleep(0.8)
        red_shot = screenshot("1-red")  # looked at while the player is paused

    # After its 4000 ms the red image leaves to the left while green enters from the right.
    second = nth_status(2, 7)
    if check(source(second).endswith("/green.png"), "green follows red by itself"):
        check(sorted(infos(second)) == ["duration", "source", "type"], "null extras are left out")
        shots = burst("2-midway", second[0] + 4.5)
        remote("pause")
        paused = nth_status(3, 3)
        check(paused and paused[1] == '{"cmd":"player_is_paused","id":"auto","device_id":"SCREEN-1"}',
              "pause answered with player_is_paused")
        expect_colour(screenshot("4-paused"), MIDDLE, COLOURS["green"], "green image by an absolute path")
        midway = [(pixel(shot, 100, 540), pixel(shot, 1820, 540)) for shot in shots]
        check(any(near(left, COLOURS["red"]) and near(right, COLOURS["green"]) for left, right in midway),
              "mid-way: red still on the left, green coming in on the right: %s" % midway)
        if first:
            expect_colour(red_shot, MIDDLE, COLOURS["red"], "red image by a relative path")
            check(near(pixel(red_shot, *QR_MARGIN), WHITE, 10), "QR overlay: white square in the lower right corner")
            crop = os.path.join(WORK, "qr.png")
            subprocess.run(["/usr/bin/convert", red_shot, "-crop", "260x260+1660+820", "+repage", crop], check=True)
            decoded = subprocess.run(["zbarimg", "--nodbus", "--quiet", "--raw", crop], capture_output=True, text=True)
            check(decoded.stdout.strip() == "E2E-42", "QR overlay decodes to the schedule identifier: %r" % decoded.stdout)
        time.sleep(max(0.0, second[0] + 9.0 - time.monotonic()))
        check(len(status) == 3, "nothing advanced while paused")
        remote("resume")
        resumed = nth_status(4, 3)
        check(resumed and json.loads(resumed[1])["cmd"] == "player_is_resumed", "resume answered with player_is_resumed")
        web = nth_status(5, 11)
        if check(infos(web) == {"type": "WebView", "source": "http://%s/page.html" % HOST_PORT, "duration": 60000},
                 "the web page follows green, for the sequence's duration"):
            time.sleep(4.5)
            expect_colour(screenshot("5-web"), MIDDLE, YELLOW, "local web page")

    remote("next")
    if check(source(nth_status(6, 5)) == "http://%s/pb.html" % HOST_PORT,
             "next: the page-builder page with its completed source"):
        time.sleep(4.5)
        expect_colour(screenshot("6-pagebuilder"), MIDDLE, MAGENTA, "page-builder page from the server")

    remote("previous")
    if check(infos(nth_status(7, 5)).get("type") == "WebView", "previous: the web page again"):
        time.sleep(4.5)
        expect_colour(screenshot("7-previous"), MIDDLE, YELLOW, "web page after previous")

    remote("next", device="screen-1")
    time.sleep(1.5)
    check(len(status) == 7, "a command for the identifier in other letters is ignored")

    # Its colour drawn over the yellow page, at the alpha of 200 every banner has.
    remote("notify", "Careful", "--level", "warning")
    seen = [pixel(shot, *BANNER) for shot in burst("banner", time.monotonic() + 3.5)]
    blended = tuple(round(c * 200 / 255 + b * 55 / 255) for c, b in zip((255, 234, 181), YELLOW))
    check(any(near(p, blended, 12) for p in seen), "WARNING banner colour over the yellow page: %s" % seen)

    # Another schedule, private: the QR code goes.
    remote("play", "--schedule", "S-7")
    other = nth_status(8, 8)
    if check(source(other) == "/cyan.png", "play --schedule shows the other schedule: %s" % schedules_asked()[-1:]):
        time.sleep(1.0)
        expect_colour(screenshot("9-other"), MIDDLE + [QR_MARGIN], COLOURS["cyan"], "other schedule, without QR code")

    remote("play")
    if check(source(nth_status(9, 8)) == RED, "play without schedule returns to the default"):
        time.sleep(0.8)
        shot = screenshot("10-default")
        expect_colour(shot, MIDDLE, COLOURS["red"], "default schedule again")
        check(near(pixel(shot, *QR_MARGIN), WHITE, 10), "QR code shown again")

    # Only the newest request counts: a late answer to an earlier one is dropped.
    remote("play", "--schedule", "SLOW")
    remote("play")
    check(source(nth_status(10, 8)) == RED, "the default schedule, asked for last, plays")
    time.sleep(2.5)
    check(len(status) == 10, "the late answer to the earlier request is ignored")

    # A sync moves the player to its device schedule on the server under a new identifier, with the valid date.
    remote("sync", "--host", "127.0.0.1", device="SCREEN-2")
    synced = nth_status(11, 8)
    if check(source(synced) == "/blue.png", "after the sync the device schedule plays: %s" % schedules_asked()[-1:]):
        check(json.loads(synced[1])["device_id"] == "SCREEN-2", "the status carries the new identifier")
        time.sleep(1.0)
        expect_colour(screenshot("11-synced"), MIDDLE, COLOURS["blue"], "the synced schedule's image")
        remote("next")
        time.sleep(1.5)
        check(len(status) == 11, "the old identifier is no longer obeyed")
finally:
    stop(player)
    server.shutdown()

if failures:
    for arrival, text in status:
        print("  status at %6.0f ms: %s" % ((arrival - status[0][0]) * 1000, text))
    if os.environ.get("E2E_KEEP"):
        shutil.copytree(WORK, os.environ["E2E_KEEP"], dirs_exist_ok=True)
    sys.exit("%d check(s) failed; screenshots and the player's log in %s (kept in $E2E_KEEP if set)"
             % (len(failures), WORK))
print("all checks passed")
