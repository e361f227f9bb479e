#!/usr/bin/env python3
"""The real player against a hostile server, hostile pages and a stranger on the LAN.
Only inside tests/isolate.sh --net --x."""
import os, socket, subprocess, sys, time, urllib.parse  # noqa: E401
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (check, datagrams, element, failures, require_isolation, schedule, screen_colours,  # noqa: E402
                     send_command, serve, solid_png, start_player, status_sources, stop, wait_for)

require_isolation("e2e_hardening")
WORK = os.environ["PLAYER_TEST_TMP"]
DEVICE = "HARD-1"
ALLOWED_SENDER, STRANGER = "10.99.0.7", "10.99.0.1"
RED_IMAGE = "file://%s/red.png" % WORK
# Each page tries a way out of its web view and reports, as a request to the server, what it was let do.
HOSTILE_PAGES = {
    "alert": "alert(1); report('alert-' + confirm(2) + '-' + prompt(3));"
             "setTimeout(() => { for (;;) alert(confirm(2)) }, 300)",
    "popup": "for (var i = 0; i < 300; i++) window.open('/opened.html'); report('popup')",
    "camera": "navigator.mediaDevices.getUserMedia({video: true}).then(() => report('camera-granted'),"
              " error => report('camera-' + error.name));"
              "Notification.requestPermission().then(answer => report('notify-' + answer))",
    "download": "location = '/file.bin'",
    "fetch": "fetch('file:///etc/hostname').then(() => report('file-read'), () => report('file-blocked'))",
}

def query_values(server, field):
    """The values of `field` in each request that had it: a list each, longer than one if the value was split."""
    queries = [urllib.parse.urlsplit(path).query for path in server.requests]
    return [urllib.parse.parse_qs(query)[field] for query in queries if field + "=" in query]

def help_without_display():
    """--help answers on a machine with no display instead of failing to open one."""
    environment = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    done = subprocess.run([os.environ["PLAYER_EXE"], "--help"], env=environment, capture_output=True, text=True,
                          timeout=30)
    check(done.returncode == 0 and done.stdout.startswith("Usage: player [options]\n"), "--help without a display")

def hostile_schedule_played_through(server, statuses):
    """The schedule comes round again past every hostile page."""
    check(wait_for(lambda: status_sources(statuses).count("/green.png") >= 2, 90), "the schedule comes round")
    shown = status_sources(statuses)
    check({server.url + name + ".html" for name in HOSTILE_PAGES} <= set(shown), "past every hostile page: %s" % shown)

def hostile_pages_contained(server):
    """No page gets a dialog answered, a window, the camera, notifications, a local file or a download."""
    for report in ("alert-false-null", "popup", "camera-NotAllowedError", "notify-denied", "file-blocked"):
        check("/report/" + report in server.requests, "page reports " + report)
    no_download = not os.path.exists(os.path.join(os.environ["HOME"], "Downloads"))
    check("/opened.html" not in server.requests and "/file.bin" in server.requests and no_download,
          "no window opened, the download asked for and cancelled")

def stranger_ignored(server):
    """Through the real sockets only the allowed address is obeyed, and its banner shows markup as text: it cannot
    put a local image on screen."""
    send_command(DEVICE, sender=STRANGER, schedule_id="denied")
    send_command(DEVICE, sender=ALLOWED_SENDER, schedule_id="x&y z#é")
    banner = "<img src='%s' width=400 height=60>" % RED_IMAGE
    send_command(DEVICE, sender=ALLOWED_SENDER, cmd="player_notification", text=banner)
    wait_for(lambda: query_values(server, "schedule_uid"), 5)
    time.sleep(1)  # the banner on screen
    check("#FF0000" not in screen_colours(), "the banner shows its text as text, not a local image")
    asked = query_values(server, "schedule_uid")
    check(asked == [["x&y z#é"]], "only the allowed sender is obeyed: %s" % asked)

server = serve(WORK)
for name, script in HOSTILE_PAGES.items():
    Path(WORK, name + ".html").write_text("<script>function report(what) { new Image().src = '/report/' + what };"
                                          "%s</script>" % script)
solid_png(os.path.join(WORK, "red.png"), "red")
solid_png(os.path.join(WORK, "green.png"), "green")
Path(WORK, "file.bin").write_bytes(bytes(4096))  # served as application/octet-stream: a download
elements = [element("Image", "/green.png")]
elements += [element("WebView", server.url + name + ".html") for name in HOSTILE_PAGES]
os.mkdir(os.path.join(WORK, "ws"))
Path(WORK, "ws", "stream.php").write_text(schedule(elements, duration=2500))  # every device's schedule
Path(WORK, "player.ini").write_text("[json]\nhost=127.0.0.1\nport=%d\n[remote]\nallow=%s, 192.168.1.0/24\n"
                                    % (server.server_address[1], ALLOWED_SENDER))
subprocess.run(["ip", "addr", "add", ALLOWED_SENDER + "/24", "dev", "eth0"], check=True)
statuses = datagrams(socket.AF_INET, ("0.0.0.0", 8001))

help_without_display()
flags = os.environ.get("QTWEBENGINE_CHROMIUM_FLAGS", "") + " --use-fake-device-for-media-stream"
player = start_player(["-d", DEVICE], WORK, dict(os.environ, QTWEBENGINE_CHROMIUM_FLAGS=flags))
try:
    hostile_schedule_played_through(server, statuses)
    hostile_pages_contained(server)
    stranger_ignored(server)
finally:
    stop(player)
sys.exit("FAILED: %s" % failures if failures else 0)
