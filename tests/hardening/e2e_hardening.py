#!/usr/bin/env python3
"""The real player against a hostile server, hostile pages and a LAN stranger, then the same document from disk."""
import json, os, select, socket, subprocess, sys, threading, time, urllib.parse as up
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import check, failures  # noqa: E402

if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("e2e_hardening: run me through tests/isolate.sh --net --x")
PLAYER, WORK, DEV = os.environ["PLAYER_EXE"], os.environ["PLAYER_TEST_TMP"], "a&action=x #é b"
seen, statuses = [], []
out = subprocess.run([PLAYER, "--help"], env={k: v for k, v in os.environ.items() if k != "DISPLAY"},
                     capture_output=True, text=True, timeout=30)
check(out.returncode == 0 and out.stderr.startswith('"Usage: player [options]'), "--help without a display")
PAGES = {"alert": "alert(1);report('alert-'+confirm(2)+'-'+prompt(3));setTimeout(()=>{for(;;)alert(confirm(2))},300)",
         "popup": "for(var i=0;i<300;i++)window.open('/opened.html');report('popup')",
         "camera": "navigator.mediaDevices.getUserMedia({video:true}).then(()=>report('camera-granted'),"
                   "e=>report('camera-'+e.name));Notification.requestPermission().then(p=>report('notify-'+p))",
         "download": "location='/file.bin'",  # served as application/octet-stream
         "fetch": "fetch('file:///etc/hostname').then(()=>report('file-read'),()=>report('file-blocked'))"}
for name, script in PAGES.items():
    open(os.path.join(WORK, name + ".html"), "w").write(
        "<script>function report(x){new Image().src='/report/'+x};%s</script>" % script)
for name in ("red", "green"):
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:" + name, os.path.join(WORK, name + ".png")], check=True)
open(os.path.join(WORK, "file.bin"), "wb").write(bytes(4096))

class Server(SimpleHTTPRequestHandler):  # every request is logged once it is answered; /ws/stream.php is a file
    log_message = lambda self, *args: seen.append(self.path)
server = ThreadingHTTPServer(("127.0.0.1", 0), partial(Server, directory=WORK))
threading.Thread(target=server.serve_forever, daemon=True).start()
HTTP = "http://127.0.0.1:%d/" % server.server_address[1]
LOCAL = ["file://%s/red.png" % WORK, "file://%s/fetch.html" % WORK, "screen://"]
elements = [("Image", LOCAL[0]), ("WebView", LOCAL[1]), ("RtspStream", LOCAL[2]), ("Image", "/green.png")]
DOC = {"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
       "sequence": {"global_properties": {"duration": 2500}, "elements": [{"type": t, "attributes": {"source": s}}
           for t, s in elements + [("WebView", HTTP + n + ".html") for n in PAGES]]}}]}}
os.mkdir(WORK + "/ws"), [json.dump(DOC, open(WORK + name, "w")) for name in ("/doc.json", "/ws/stream.php")]
open(os.path.join(WORK, "player.ini"), "w").write("[json]\nhost=127.0.0.1\nport=%d\n[remote]\n"
                                                  "allow=10.99.0.7, 192.168.1.0/24\n" % server.server_address[1])
subprocess.run(["ip", "addr", "add", "10.99.0.7/24", "dev", "eth0"], check=True)
(status := socket.socket(socket.AF_INET, socket.SOCK_DGRAM)).bind(("0.0.0.0", 8001))  # the player's status datagrams

def start(args):
    del statuses[:]  # a datagram still queued from an earlier player names no local source
    flags = os.environ.get("QTWEBENGINE_CHROMIUM_FLAGS", "") + " --use-fake-device-for-media-stream"
    return subprocess.Popen([PLAYER, "-v"] + args, cwd=WORK, stdout=open(WORK + "/log", "w"),
                            stderr=subprocess.STDOUT, env=dict(os.environ, QTWEBENGINE_CHROMIUM_FLAGS=flags))
def collect(until, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end and not until(statuses):
        if select.select([status], [], [], 1)[0]:
            statuses.append(json.loads(status.recv(65536)).get("infos", {}).get("source"))
    return statuses
shot = lambda: subprocess.run("/usr/bin/import -window root png:- | /usr/bin/convert - -format %c histogram:info:-",
                              shell=True, capture_output=True, text=True).stdout
queried = lambda key: [up.parse_qs(up.urlsplit(p).query)[key] for p in seen if key + "=" in p]
player = start(["-d", DEV, "--startDate=2026-01-01"])
s = collect(lambda s: s.count("/green.png") >= 2, 90)
check(s.count("/green.png") >= 2 and {HTTP + n + ".html" for n in PAGES} <= set(s), "past every hostile page: %s" % s)
check(not set(LOCAL) & set(s), "a network schedule shows no local source")
check(queried("device_uid")[:1] == [[DEV]] and queried("startDate")[:1] == [["2026-01-01"]],
      "identifiers arrive as one value each: %s" % queried("device_uid"))
for expected in ("alert-false-null", "popup", "camera-NotAllowedError", "notify-denied", "file-blocked"):
    check("/report/" + expected in seen, "page reports " + expected)
check("/opened.html" not in seen and "/file.bin" in seen and not os.path.exists(os.environ["HOME"] + "/Downloads"),
      "no window opened, the download asked for and cancelled")
banner = dict(cmd="player_notification", text="<img src='%s' width=400 height=60>" % LOCAL[0])
for source, fields in (("10.99.0.1", dict(schedule_id="denied")), ("10.99.0.7", dict(schedule_id="x&y z#é")),
                       ("10.99.0.7", banner)):  # only 10.99.0.7 is allowed
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((source, 0)), s.connect(("10.99.0.1", 8000))
        s.send(json.dumps(dict(dict(cmd="player_play", id="t", device_id=DEV), **fields)).encode())
time.sleep(1.5)
check("#FF0000" not in shot(), "the banner shows its text as text, not a local image")
check(queried("schedule_uid") == [["x&y z#é"]], "only the allowed sender is obeyed: %s" % queried("schedule_uid"))
player.kill(), player.wait()
check("sender 10.99.0.1 not allowed, ignored" in open(WORK + "/log").read(), "the ignored sender is logged")

player = start(["--json=" + WORK + "/doc.json"])
collect(lambda s: LOCAL[0] in s, 30), time.sleep(1.5)
check("#FF0000" in shot(), "a local schedule shows its local image")
check(LOCAL[1] in collect(lambda s: LOCAL[1] in s, 10), "and its local page: %s" % statuses)
player.kill(), player.wait()
sys.exit("FAILED: %s" % failures if failures else 0)
