#!/usr/bin/env python3
"""The real player started before its server, then fed bad answers, a dead web server and a changed document."""
import json, os, select, socket, subprocess, sys, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import check, failures  # noqa: E402

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_reliability: run me through tests/isolate.sh --net --x")
PLAYER, WORK, DEV = os.environ["PLAYER_EXE"], os.environ["PLAYER_TEST_TMP"], "REL-1"
statuses, routes = [], {}

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
PORT, PAGE_PORT = free_port(), free_port()
for name in ("red", "green", "blue"):
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:" + name, "png:" + WORK + "/" + name + ".png"], check=True)

def doc(*elements, duration=1000):
    return json.dumps({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {},
        "hours": {}}, "sequence": {"global_properties": {"duration": duration}, "elements": [
            dict({"type": t, "attributes": {"source": s}}, **extra) for t, s, extra in elements]}}]}})

class Server(BaseHTTPRequestHandler):  # routes: path -> (status, body, delay in s); files from WORK otherwise
    log_message = lambda self, *args: None
    def do_GET(self):
        status, body, delay = routes.get(self.path, (200, None, 0))
        if self.path == "/slow.png":  # half of it, then nothing: a download still under way
            self.send_response(200), self.send_header("Content-Length", "100000"), self.end_headers()
            return self.wfile.write(bytes(50000)), self.wfile.flush(), time.sleep(120)
        if body is None:
            path = WORK + self.path.split("?")[0]
            status, body = (200, open(path, "rb").read()) if os.path.isfile(path) else (404, b"not found")
        time.sleep(delay)
        try:
            self.send_response(status), self.send_header("Content-Length", str(len(body))), self.end_headers()
            self.wfile.write(body.encode() if isinstance(body, str) else body)
        except OSError:
            pass

def serve(port):
    server = ThreadingHTTPServer(("127.0.0.1", port), Server)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server

(status := socket.socket(socket.AF_INET, socket.SOCK_DGRAM)).bind(("0.0.0.0", 8001))
def collect(seconds, until=lambda s: False):
    """(arrival, source) of each composition that comes on screen, gathered for `seconds` or until `until`."""
    end, got = time.monotonic() + seconds, []
    while time.monotonic() < end and not until(got):
        if select.select([status], [], [], 0.2)[0]:
            got.append((time.monotonic(), json.loads(status.recv(65536)).get("infos", {}).get("source")))
    statuses.extend(got)
    return got
def command(**fields):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(json.dumps(dict(cmd="player_play", id="t", device_id=DEV, **fields)).encode(), ("10.99.0.1", 8000))
def pixel(x, y):
    return subprocess.run("/usr/bin/import -window root png:- | /usr/bin/convert - -format '%%[pixel:p{%d,%d}]' info:"
                          % (x, y), shell=True, capture_output=True, text=True).stdout
log = lambda: open(WORK + "/log", errors="replace").read()

DEFAULT = "/ws/stream.php?action=get&device_uid=" + DEV
routes[DEFAULT] = (200, doc(("Image", "/red.png", {}), ("Image", "/missing.png", {}), ("Video", "/missing.mp4",
                                                                                        {"duration": 0})), 0)
open(WORK + "/player.ini", "w").write("[json]\nhost=127.0.0.1\nport=%d\n[schedule]\nrefreshMinutes=0.1\n" % PORT)
player = subprocess.Popen([PLAYER, "-v", "-d", DEV], cwd=WORK, stdout=open(WORK + "/log", "w"), stderr=subprocess.STDOUT)

# Started before its server: nothing to show, fetches again with a growing wait, plays once the server is up.
time.sleep(20)
retries = log().count("failed (Connection refused), next try in")
check(3 <= retries <= 5, "retries while the server is down: %d" % retries)
server, up = serve(PORT), time.monotonic()
first = collect(20, lambda s: len(s) >= 1)
check(first and first[0][0] - up < 16 + 2, "first composition %.1f s after the server came up"
      % (first[0][0] - up if first else -1))
seen = [s for _, s in collect(6)]
check({"/red.png", "/missing.png", "/missing.mp4"} <= set(seen), "a 404 image and a missing video advance: %s" % seen)

# Bad answers to a remote play: the schedule on screen goes on advancing through each of them.
BAD = {"http500": (500, doc(("Image", "/blue.png", {})).replace("schedule", "error"), 0), "empty": (200, "", 0),
       "garbage": (200, os.urandom(5 * 1024 * 1024), 0), "errordoc": (200, '{"error": "no such schedule"}', 0),
       "slow": (200, doc(("Image", "/blue.png", {})), 30)}
for name, answer in BAD.items():
    routes["/ws/stream.php?action=getSchedule&schedule_uid=%s&standalone=0" % name] = answer
    command(schedule_id=name)
    got = collect(9 if name == "slow" else 4)
    gaps = [b[0] - a[0] for a, b in zip(got, got[1:])]
    check(len(got) >= 3 and max(gaps) < 2.5, "%s: %d compositions, longest gap %.1f s"
          % (name, len(got), max(gaps, default=-1)))
check("/blue.png" not in [s for _, s in statuses], "nothing of a bad answer was played")

# The default schedule again, then changed on the server: the refresh takes it without a gap.
routes[DEFAULT] = (200, doc(("Image", "/green.png", {}), ("WebView", "http://127.0.0.1:%d/page.html" % PAGE_PORT,
                                                         {"duration": 12000})), 0)
command()
got = collect(12, lambda s: any(src.endswith("page.html") for _, src in s))
check("/green.png" in [s for _, s in got], "the default schedule is played again")
shown = got[-1][0] if got else 0
routes[DEFAULT] = (200, doc(("Image", "/blue.png", {})), 0)  # taken by the next refresh, under the page
time.sleep(2)
black = pixel(320, 240)
check(black in ("gray(0)", "srgb(0,0,0)"), "a page whose server is down shows black, not an error page: " + black)
check("failed to load" in log(), "the failed page is logged")
open(WORK + "/page.html", "w").write("<body style='background:#ff00ff'></body>")
page = serve(PAGE_PORT)
time.sleep(4)
later = pixel(320, 240)
check(later == "srgb(255,0,255)", "the page appears once its server is up (%.1f s into it): %s"
      % (time.monotonic() - shown, later))

got = collect(16, lambda s: "/blue.png" in [src for _, src in s])
check(got and got[-1][1] == "/blue.png", "a changed document is taken by the refresh: %s" % [s for _, s in got])
check(got and 11.5 < got[-1][0] - shown < 13.5, "the page on screen played out its duration: %.1f s"
      % (got[-1][0] - shown if got else -1))

# Kept for offline play: the server goes away mid-play, then a power cut during a download, then a start without it.
routes[DEFAULT] = (200, doc(("Image", "/red.png", {}), ("Image", "/green.png", {}), ("Image", "/slow.png", {})), 0)
cache = os.path.join(os.environ["HOME"], ".cache")
kept = lambda suffix: [f for d, _, fs in os.walk(cache) if d.endswith("/schedules") for f in fs if f.endswith(suffix)]
end = time.monotonic() + 20
while time.monotonic() < end and not (len(kept(".media")) >= 3 and kept(".part")):
    time.sleep(0.2)
check(len(kept(".media")) == 3 and len(kept(".json")) == 1 and len(kept(".part")) == 1,
      "the document and its images are kept: %s" % kept(""))
server.shutdown(), server.server_close()
def colours(seconds):
    end, seen = time.monotonic() + seconds, set()
    while time.monotonic() < end:
        seen.add(pixel(320, 240))
    return seen
seen = colours(8)
check({"srgb(255,0,0)", "srgb(0,128,0)"} <= seen, "the server gone, its images play on from the cache: %s" % seen)
player.kill(), player.wait()  # a power cut while slow.png is still coming
while select.select([status], [], [], 0)[0]:
    status.recv(65536)
started = time.monotonic()
player = subprocess.Popen([PLAYER, "-v", "-d", DEV], cwd=WORK, stdout=open(WORK + "/log", "w"), stderr=subprocess.STDOUT)
first = collect(6, lambda s: len(s) >= 1)
check(first and {"srgb(255,0,0)", "srgb(0,128,0)"} & colours(started + 3 - time.monotonic()),
      "started without a server: a kept composition on screen within 3 s (announced after %.1f s)"
      % (first[0][0] - started if first else -1))
check(not kept(".part") and len(kept(".media")) == 3, "the interrupted download is gone: %s" % kept(""))
seen = [s for _, s in collect(5)]
check({"/red.png", "/green.png"} <= set(seen), "status datagrams name the document's own sources: %s" % seen)
player.kill(), player.wait()
sys.exit("FAILED: %s" % failures if failures else 0)
