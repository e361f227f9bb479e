#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""The real player on a 1920x1080 screen hung in portrait: turned 90 degrees (command line) a year behind the server's
clock, then 270 (player.ini). A portrait test card and video fill the screen, the QR code reads at the turned corner,
a web page is as wide as the portrait, the X screen saver is off while it plays and back after, and the sequence is
the one for the server's weekday. Only inside tests/isolate.sh --net --x."""
import ctypes, json, os, signal, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.environ["PLAYER_SOURCE_DIR"], "tests", "product"))
from support import check, datagrams, element, failures, require_isolation, serve, status_sources, wait_for  # noqa

require_isolation("e2e_screens")
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "screens")
os.makedirs(WORK)
RED, BLUE, GREEN, MAGENTA = "#ff0000", "#0000ff", "#00ff00", "#ff00ff"
subprocess.run(["/usr/bin/convert", "-size", "1080x960", "xc:" + RED, "xc:" + BLUE, "-append", WORK + "/card.png"],
               check=True)
subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=0x00ff00:s=1080x960:r=25:d=9", "-f", "lavfi", "-i",
                "color=0xff00ff:s=1080x960:r=25:d=9", "-filter_complex", "vstack", "-pix_fmt", "yuv420p",
                WORK + "/portrait.mp4"], check=True)
with open(WORK + "/page.html", "w") as page:
    page.write("<body onload=\"new Image().src='/width/'+window.innerWidth\" style='background:#fff'></body>")
server = serve(WORK)
today, year_ago = time.strftime("%A"), time.strftime("%A", time.localtime(time.time() - 365 * 86400))
entry = lambda day, elements: {"diffusion": {"weekdays": [day], "dates": {}, "hours": {}},  # noqa: E731
                               "sequence": {"global_properties": {"duration": 6000}, "elements": elements}}
server.answers["/ws/stream.php?action=get&device_uid=S"] = (200, json.dumps({"schedule": {
    "schedule_uid": "PORTRAIT-9", "private": False, "sequences": [
        entry(year_ago, [element("Image", "/blue.png")]),
        entry(today, [element("Image", "/card.png"), element("Video", "/portrait.mp4", duration=0),
                      element("WebView", server.url + "page.html")])]}}).encode(), 0)
status = datagrams(socket.AF_INET, ("0.0.0.0", 8001))
xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
held = xlib.XOpenDisplay(None)  # without a client left Xvfb resets its settings, which would hide the restore

def saver_timeout():
    return subprocess.run(["xset", "q"], capture_output=True, text=True).stdout.split("timeout:")[1].split()[0]

def shot(name):
    subprocess.run(["/usr/bin/import", "-window", "root", WORK + "/" + name], check=True)
    return WORK + "/" + name

def colour(path, x, y):
    hexa = subprocess.run(["/usr/bin/convert", path, "-format", "%%[hex:p{%d,%d}]" % (x, y), "info:"],
                          capture_output=True, text=True).stdout
    return [int(hexa[i:i + 2], 16) for i in (0, 2, 4)]

def sides(path, near_colour, far_colour, what):
    """The content's top (near_colour) lies along one long side of the screen: the right one for 90 degrees."""
    points = [(20, 540), (480, 20), (480, 1060), (1900, 540), (1440, 20), (1440, 1060)]
    got = [colour(path, x, y) for x, y in points]
    want = [colour_of(far_colour)] * 3 + [colour_of(near_colour)] * 3
    check(all(abs(a - b) < 40 for g, w in zip(got, want) for a, b in zip(g, w)), "%s: sides %s" % (what, got))

def colour_of(text):
    return [int(text[i:i + 2], 16) for i in (1, 3, 5)]

def run(degrees, args, env, start):
    subprocess.run(["xset", "s", "321", "321"], check=True)
    player = subprocess.Popen([os.environ["PLAYER_EXE"], "-h", "127.0.0.1", "-p", str(server.server_address[1]), "-d",
                               "S"] + args, cwd=WORK, env=dict(os.environ, **env), stdout=open(WORK + "/log", "a"),
                              stderr=subprocess.STDOUT)
    try:
        check_run(degrees, player, start)
    finally:
        player.send_signal(signal.SIGTERM)
    check(player.wait(20) == -signal.SIGTERM, "%d: SIGTERM still ends the player by that signal" % degrees)
    check(saver_timeout() == "321", "%d: X screen saver settings back after the player" % degrees)

def check_run(degrees, player, start):
    shown = lambda n: wait_for(lambda: len(status_sources(status, start)) >= n, 20)  # noqa: E731
    if check(shown(1) and status_sources(status, start)[0] == "/card.png", "%d: the card first" % degrees):
        time.sleep(2)
        card = shot("card%d.png" % degrees)
        near, far = (RED, BLUE) if degrees == 90 else (BLUE, RED)
        sides(card, near, far, "%d: portrait card" % degrees)
        crop = "260x260+0+780" if degrees == 90 else "260x260+1660+40"
        subprocess.run(["/usr/bin/convert", card, "-crop", crop, "+repage", WORK + "/qr.png"], check=True)
        qr = subprocess.run(["zbarimg", "--nodbus", "--quiet", "--raw", WORK + "/qr.png"], capture_output=True, text=True)
        check(qr.stdout.strip() == "PORTRAIT-9", "%d: QR code at the content's lower right: %r" % (degrees, qr.stdout))
        check(saver_timeout() == "0", "%d: X screen saver off while playing" % degrees)
    if check(shown(2), "%d: the video next" % degrees):
        time.sleep(3)
        sides(shot("video%d.png" % degrees), *((GREEN, MAGENTA) if degrees == 90 else (MAGENTA, GREEN)),
              "%d: portrait video" % degrees)

run(90, ["--rotation=90"], {"LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                            "FAKETIME": "-365d"}, 0)
check(wait_for(lambda: "/width/1080" in server.requests, 1), "90: the web page is 1080 wide: %s" % server.requests)
log = open(WORK + "/log").read()
check(log.count("365 days behind the signage server") == 1, "the clock message, once")  # at -365d
with open(WORK + "/player.ini", "w") as ini:
    ini.write("[screen]\nrotation=270\n")
run(270, [], {}, time.monotonic())
sys.exit(1 if failures else 0)
