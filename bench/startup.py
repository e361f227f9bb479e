#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Start-up: from process start to the first composition, with a local schedule file.

Starts the player several times on a schedule of one full-screen red image and prints,
for each run and as medians: the time from the start of the process to its first
"player_composition_changed" status datagram, and to the first screen on which that
image is seen (five points of the X screen, read every 2 ms straight from the server).
The scene waits one second by design before it shows the first composition.
Run it through tests/isolate.sh --net --x:

    PLAYER_EXE=build/sources/player tests/isolate.sh --net --x -- python3 bench/startup.py [--runs 5]
"""
import argparse, ctypes, ctypes.util, json, os, select, socket, statistics, subprocess, sys, time

args = argparse.ArgumentParser()
args.add_argument("--runs", type=int, default=5)
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("startup: run me through tests/isolate.sh --net --x")
WORK, PLAYER = os.environ["PLAYER_TEST_TMP"], os.path.abspath(os.environ["PLAYER_EXE"])

# A few pixels read from the server cost well under a millisecond; a whole-screen
# grab (xwd, import) takes tens of them and would blur the figure.
xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = ctypes.c_ulong
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XGetImage.restype = ctypes.POINTER(ctypes.c_void_p)
xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                           ctypes.c_ulong, ctypes.c_int]
xlib.XFree.argtypes = [ctypes.c_void_p]
display = xlib.XOpenDisplay(os.environ["DISPLAY"].encode())
if not display:
    sys.exit("startup: cannot open the display")
root = xlib.XDefaultRootWindow(display)
POINTS = [(960, 540), (40, 40), (1880, 40), (40, 1040), (1880, 1040)]


def red_everywhere():
    for x, y in POINTS:
        image = xlib.XGetImage(display, root, x, y, 1, 1, 0xFFFFFFFF, 2)   # ZPixmap
        if not image:
            return False
        # XImage: four ints (width, height, xoffset, format), then the data pointer;
        # a 24-bit screen keeps 32-bit pixels, blue in the lowest byte.
        data = ctypes.cast(image[2], ctypes.POINTER(ctypes.c_uint32))
        pixel = data[0]
        xlib.XFree(image[2])
        xlib.XFree(image)
        r, g, b = (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255
        if not (r > 200 and g < 50 and b < 50):
            return False
    return True


subprocess.run(["/usr/bin/convert", "-size", "1920x1080", "xc:red", WORK + "/red.png"], check=True)
doc = WORK + "/startup.json"
json.dump({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
          "sequence": {"global_properties": {"duration": 60000},
                       "elements": [{"type": "Image", "duration": 60000, "attributes": {"source": "file://%s/red.png" % WORK}}]}}]}},
          open(doc, "w"))
status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
status.bind(("0.0.0.0", 8001))

datagram_s, pixels_s = [], []
for run in range(opts.runs):
    if red_everywhere():
        sys.exit("startup: the screen is red before the player starts")
    t0 = time.monotonic()
    player = subprocess.Popen([PLAYER, "--json=" + doc], cwd=WORK, stdout=subprocess.DEVNULL,
                              stderr=open(WORK + "/startup.log", "w"))
    got_datagram = got_pixels = None
    while time.monotonic() - t0 < 30 and (got_datagram is None or got_pixels is None):
        if got_pixels is None and red_everywhere():
            got_pixels = time.monotonic() - t0
        if select.select([status], [], [], 0.002)[0]:
            if json.loads(status.recv(65536)).get("cmd") == "player_composition_changed" and got_datagram is None:
                got_datagram = time.monotonic() - t0
    player.kill(), player.wait()
    if got_datagram is None or got_pixels is None:
        sys.exit("startup: run %d saw %s (see %s/startup.log)" % (run + 1, "no datagram" if got_datagram is None
                                                                  else "no red screen", WORK))
    datagram_s.append(got_datagram)
    pixels_s.append(got_pixels)
    print("run %d: datagram %.3f s, pixels %.3f s" % (run + 1, got_datagram, got_pixels), flush=True)
    time.sleep(1)   # the X server repaints its root once the window is gone

print("start-up, median of %d: first composition-changed datagram %.3f s, its pixels on screen %.3f s "
      "(one second of each is the scene's designed start delay)" % (opts.runs, statistics.median(datagram_s),
                                                                    statistics.median(pixels_s)))
print("(the machine may be shared: start-up times grow with its load)")
