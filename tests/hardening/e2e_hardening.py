#!/usr/bin/env python3
"""The real player against a hostile server, hostile pages and a stranger on the LAN;
then the same document read from disk. Runs only inside tests/isolate.sh --net --x."""
import json, os, select, socket, subprocess, sys, threading, time, urllib.parse
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_hardening: run me through tests/isolate.sh --net --x")
PLAYER, WORK = os.environ["PLAYER_EXE"], os.environ["PLAYER_TEST_TMP"]
DEV = "a&action=x #é b"
failures, seen, statuses = [], [], []

def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    ok or failures.append(what)

out = subprocess.run([PLAYER, "--help"], env={k: v for k, v in os.environ.items() if k != "DISPLAY"},
                     capture_output=True, text=True, timeout=30)
check(out.returncode == 0 and out.stderr.startswith('"Usage: player [options]'), "--help without a display")

report = "function report(x){new Image().src='/report/'+x}"
PAGES = {"alert": "alert(1);report('alert-'+confirm(2)+'-'+prompt(3));setTimeout(()=>{for(;;)alert(confirm(2))},300)",
         "popup": "for(var i=0;i<300;i++)window.open('/opened.html');report('popup')",
         "camera": "navigator.mediaDevices.getUserMedia({video:true}).then(()=>report('camera-granted'),"
                   "e=>report('camera-'+e.name));Notification.requestPermission().then(p=>report('notify-'+p))",
         "download": "location='/file.bin'",
         "fetch": "fetch('file:///etc/hostname').then(()=>report('file-read'),()=>report('file-blocked'))"}
for name, script in PAGES.items():
    with open(os.path.join(WORK, name + ".html"), "w") as f:
        f.write("<html><body style='background:#00f'><script>%s;%s</script></body></html>" % (report, script))
for name in ("red", "green"):
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:" + name, os.path.join(WORK, name + ".png")], check=True)
with open(os.path.join(WORK, "file.bin"), "wb") as f:
    f.write(bytes(4096))  # served as application/octet-stream: a download

class Server(SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_GET(self):
        seen.append(urllib.parse.unquote(self.path))
        if not self.path.startswith("/ws/stream.php"):
            return super().do_GET()
        seen.append(urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query))
        self.send_response(200)
        self.end_headers()
        self.wfile.write(json.dumps(DOC).encode())

server = ThreadingHTTPServer(("127.0.0.1", 0), partial(Server, directory=WORK))
threading.Thread(target=server.serve_forever, daemon=True).start()
HTTP = "http://127.0.0.1:%d/" % server.server_address[1]
LOCAL = ["file://%s/red.png" % WORK, "file://%s/fetch.html" % WORK, "screen://"]
DOC = {"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
       "sequence": {"global_properties": {"duration": 2500}, "elements":
           [{"type": t, "attributes": {"source": s}} for t, s in zip(("Image", "WebView", "RtspStream"), LOCAL)]
           + [{"type": "Image", "attributes": {"source": "/green.png"}}]
           + [{"type": "WebView", "attributes": {"source": HTTP + n + ".html"}} for n in PAGES]}}]}}
with open(os.path.join(WORK, "doc.json"), "w") as f:
    json.dump(DOC, f)
with open(os.path.join(WORK, "player.ini"), "w") as f:
    f.write("[json]\nhost=127.0.0.1\nport=%d\n[remote]\nallow=10.99.0.7, 192.168.1.0/24\n" % server.server_address[1])
subprocess.run(["ip", "addr", "add", "10.99.0.7/24", "dev", "eth0"], check=True)

status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
status.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
status.bind(("0.0.0.0", 8001))
status.settimeout(1)

def start(args):
    while select.select([status], [], [], 0)[0]:
        status.recv(65536)  # what the previous player said last
    del statuses[:]
    log = open(os.path.join(WORK, "player-%d.log" % len(args)), "w+")
    flags = os.environ.get("QTWEBENGINE_CHROMIUM_FLAGS", "") + " --use-fake-device-for-media-stream"
    return subprocess.Popen([PLAYER, "-v"] + args, cwd=WORK, stdout=log, stderr=subprocess.STDOUT,
                            env=dict(os.environ, QTWEBENGINE_CHROMIUM_FLAGS=flags)), log

def collect(until, seconds):
    """The sources of the compositions announced until `until(sources)` holds."""
    end = time.monotonic() + seconds
    while time.monotonic() < end and not until(statuses):
        try:
            statuses.append(json.loads(status.recv(65536))["infos"]["source"])
        except (socket.timeout, KeyError, ValueError):
            pass
    return statuses

def command(source, **fields):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((source, 0))
        s.sendto(json.dumps(dict(cmd="player_play", id="t", device_id=DEV, **fields)).encode(), ("10.99.0.1", 8000))

def queried(key):
    return [q[key] for q in seen if isinstance(q, dict) and key in q]

player, log = start(["-d", DEV, "--startDate=2026-01-01"])
s = collect(lambda s: s.count("/green.png") >= 2, 90)
check(s.count("/green.png") >= 2 and {HTTP + n + ".html" for n in PAGES} <= set(s),
      "the sequence goes on past every hostile page: %s" % s)
check(not set(LOCAL) & set(s), "a network schedule shows no local source")
check(queried("device_uid")[:1] == [[DEV]] and queried("startDate")[:1] == [["2026-01-01"]],
      "identifiers arrive as one value each: %s" % queried("device_uid"))
for expected in ("alert-false-null", "popup", "camera-NotAllowedError", "notify-denied", "file-blocked"):
    check("/report/" + expected in seen, "page reports " + expected)
check("/opened.html" not in seen and "/file.bin" in seen and not os.path.exists(os.environ["HOME"] + "/Downloads"),
      "no window opened, the download asked for and cancelled")
command("10.99.0.1", schedule_id="denied")
command("10.99.0.7", schedule_id="x&y z#é")
time.sleep(3)
check(queried("schedule_uid") == [["x&y z#é"]], "only the allowed sender's command is carried out, in one value: %s"
      % queried("schedule_uid"))
player.kill(); player.wait(); log.seek(0)
check("sender 10.99.0.1 not allowed, ignored" in log.read(), "the ignored sender is logged")

player, log = start(["--json=" + WORK + "/doc.json"])
collect(lambda s: LOCAL[0] in s, 30)
time.sleep(1.5)
shot = subprocess.run(["/usr/bin/import", "-window", "root", "png:-"], capture_output=True).stdout
pixel = subprocess.run(["/usr/bin/convert", "-", "-crop", "1x1+960+540", "-depth", "8", "txt:-"], input=shot,
                       capture_output=True).stdout.decode()
check("#FF0000" in pixel, "a local schedule shows its local image: %s" % pixel.strip())
check(LOCAL[1] in collect(lambda s: LOCAL[1] in s, 10), "and its local page: %s" % statuses)
player.kill(); player.wait()
sys.exit("FAILED: %s" % failures if failures else 0)
