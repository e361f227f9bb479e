#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""The real player on a 1920x1080 screen turned 90 degrees a year behind the server's clock, then 270: a portrait card,
video, QR code and web page; the X screen saver off while it plays. Only inside tests/isolate.sh --net --x."""
import ctypes, json, os, signal, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.environ["PLAYER_SOURCE_DIR"], "tests", "product"))
from support import check, datagrams, element, failures, require_isolation, serve, status_sources, wait_for  # noqa

require_isolation("e2e_screens")
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "screens")
os.makedirs(WORK)
RED, BLUE, GREEN, MAGENTA = (255, 0, 0), (0, 0, 255), (0, 255, 0), (255, 0, 255)
subprocess.run(["/usr/bin/convert", "-size", "1080x960", "xc:red", "xc:blue", "-append", WORK + "/card.png"], check=True)
subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=0x00ff00:s=1080x960:d=9[a];color=0xff00ff:s=1080x960"
                ":d=9[b];[a][b]vstack", "-pix_fmt", "yuv420p", WORK + "/portrait.mp4"], check=True)
with open(WORK + "/page.html", "w") as page:
    page.write("<body onload=\"new Image().src='/width/'+window.innerWidth\"></body>")
server = serve(WORK)
# The server's weekday plays the card; the faked clock's weekday, a year back, would play blue.
days = time.strftime("%A"), time.strftime("%A", time.localtime(time.time() - 365 * 86400))
server.answers["/ws/stream.php?action=get&device_uid=S"] = (200, json.dumps({"schedule": {
    "schedule_uid": "PORTRAIT-9", "private": False, "sequences": [{
        "diffusion": {"weekdays": [day], "dates": {}, "hours": {}},
        "sequence": {"global_properties": {"duration": 6000}, "elements": elements}} for day, elements in (
        (days[1], [element("Image", "/blue.png")]),
        (days[0], [element("Image", "/card.png"), element("Video", "/portrait.mp4", duration=0),
                   element("WebView", server.url + "page.html")]))]}}).encode(), 0)
status = datagrams(socket.AF_INET, ("0.0.0.0", 8001))
xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
held = xlib.XOpenDisplay(None)  # with no client left Xvfb resets its settings, which would hide the restore

def saver_timeout():
    return subprocess.run(["xset", "q"], capture_output=True, text=True).stdout.split("timeout:")[1].split()[0]

def sides(name, top, bottom, degrees):
    """The content's top lies along the screen's right side at 90 degrees, its left side at 270."""
    subprocess.run(["/usr/bin/import", "-window", "root", WORK + "/" + name], check=True)
    fmt = "".join("%%[hex:p{%d,%d}]" % p for p in ((20, 540), (480, 20), (480, 1060), (1900, 540), (1440, 20), (1440, 1060)))
    hexa = subprocess.run(["/usr/bin/convert", WORK + "/" + name, "-format", fmt, "info:"], capture_output=True,
                          text=True).stdout
    got = [tuple(int(hexa[i + j:i + j + 2], 16) for j in (0, 2, 4)) for i in range(0, len(hexa), len(hexa) // 6)]
    want = [bottom] * 3 + [top] * 3 if degrees == 90 else [top] * 3 + [bottom] * 3
    check(all(abs(a - b) < 40 for g, w in zip(got, want) for a, b in zip(g, w)), "%d: %s sides %s" % (degrees, name, got))
    return WORK + "/" + name

def run(degrees, args, env):
    subprocess.run(["xset", "s", "321", "321"], check=True)
    start = time.monotonic()
    player = subprocess.Popen([os.environ["PLAYER_EXE"], "-h", "127.0.0.1", "-p", str(server.server_address[1]), "-d",
                               "S"] + args, cwd=WORK, env=dict(os.environ, **env), stdout=open(WORK + "/log", "a"),
                              stderr=subprocess.STDOUT)
    shown = lambda n: wait_for(lambda: len(status_sources(status, start)) >= n, 20)  # noqa: E731
    try:
        if check(shown(1) and status_sources(status, start)[0] == "/card.png", "%d: the card first" % degrees):
            time.sleep(2)
            card = sides("card%d.png" % degrees, RED, BLUE, degrees)
            crop = "260x260+0+780" if degrees == 90 else "260x260+1660+40"  # the content's lower right corner
            qr = subprocess.run("/usr/bin/convert %s -crop %s +repage png:- | zbarimg --nodbus --quiet --raw -" % (card, crop),
                                shell=True, capture_output=True, text=True).stdout
            check(qr.strip() == "PORTRAIT-9", "%d: the QR code reads: %r" % (degrees, qr))
            check(saver_timeout() == "0", "%d: X screen saver off while playing" % degrees)
        if check(shown(2), "%d: the video next" % degrees):
            time.sleep(3)
            sides("video%d.png" % degrees, GREEN, MAGENTA, degrees)
    finally:
        player.send_signal(signal.SIGTERM)
    check(player.wait(20) == -signal.SIGTERM, "%d: SIGTERM still ends the player by that signal" % degrees)
    check(saver_timeout() == "321", "%d: X screen saver settings back after the player" % degrees)

run(90, ["--rotation=90"], {"LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1", "FAKETIME": "-365d"})
check(wait_for(lambda: "/width/1080" in server.requests, 1), "90: the web page is 1080 wide: %s" % server.requests)
check(open(WORK + "/log").read().count("365 days behind the signage server") == 1, "the clock message, once")
with open(WORK + "/player.ini", "w") as ini:
    ini.write("[screen]\nrotation=270\n")
run(270, [], {})
sys.exit(1 if failures else 0)
