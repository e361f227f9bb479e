#!/usr/bin/env python3
"""The real player on a loopback Mosquitto broker (password required) with its schedule over https from a test CA:
it plays while the broker is down, then its retained online and state, commands from player-remote (one for another
screen ignored), its event, a screenshot with a video's colour, the fleet list, reconnection after the broker
restarts and the last will after SIGKILL; without cafile= the fetch fails with a clear line and the kept copy plays. The rules
are tst_fleet's. Only inside tests/isolate.sh --net --x."""
import functools, http.server, json, os, re, ssl, subprocess, sys, threading, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (_Handler, check, element, failures, free_port, require_isolation, schedule, screen_pixel,  # noqa
                     serve, solid_png, start_player, stop, wait_for)

require_isolation("e2e_fleet")
WORK, BPORT = os.environ["PLAYER_TEST_TMP"], free_port()
REMOTE = os.path.join(os.environ["PLAYER_BINARY_DIR"], "tools", "player-remote", "player-remote")
LOGIN = ["-u", "screen", "-P", "secret"]

def run(*args, **kw):
    return subprocess.run(list(args), capture_output=True, text=True, cwd=WORK, timeout=30, **kw)

run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
    "-subj", "/CN=Fleet test CA", check=True)
run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "srv.key", "-out", "srv.csr", "-subj", "/CN=srv",
    check=True)
open(WORK + "/ext", "w").write("subjectAltName=IP:127.0.0.1\n")
run("openssl", "x509", "-req", "-in", "srv.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
    "-out", "srv.pem", "-extfile", "ext", check=True)
https = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(_Handler, directory=WORK))
https.daemon_threads, https.requests = True, []
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(WORK + "/srv.pem", WORK + "/srv.key")
https.socket = context.wrap_socket(https.socket, server_side=True, do_handshake_on_connect=False)
threading.Thread(target=https.serve_forever, daemon=True).start()
solid_png(os.path.join(WORK, "red.png"), "red")
run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=c=0x00ff00:s=320x180:r=25", "-t", "30", "-pix_fmt", "yuv420p",
    "green.mp4", check=True)
https.answers = {"/ws/stream.php?action=get&device_uid=SCREEN-1": (200, schedule([element("Image", "/red.png"),
                 element("Video", serve(WORK).url + "green.mp4")], duration=60000).encode(), 0)}

run("mosquitto_passwd", "-c", "-b", "passwd", "screen", "secret", check=True)
open(WORK + "/broker.conf", "w").write("listener %d 127.0.0.1\nallow_anonymous false\npassword_file %s/passwd\n"
                                       "persistence false\nuser root\n" % (BPORT, WORK))
broker = lambda: subprocess.Popen(["mosquitto", "-c", WORK + "/broker.conf"], stderr=subprocess.DEVNULL)  # noqa
retained = lambda leaf, wait=1: run("mosquitto_sub", "-p", str(BPORT), *LOGIN, "-t", "fleet/SCREEN-1/" + leaf,  # noqa
                                    "-C", "1", "-W", str(wait)).stdout.strip()
state = lambda: json.loads(retained("state", 3) or "{}")  # noqa: E731
source = lambda: ((state().get("composition") or {}).get("source") or "")  # noqa: E731
remote = lambda *a: run(REMOTE, "--mqtt=127.0.0.1:%d" % BPORT, "--username", "screen", "--password", "secret",  # noqa
                        "--prefix", "fleet", *a)

def settings(cafile):
    open(WORK + "/player.ini", "w").write(
        "[json]\nhost=127.0.0.1\nport=%d\nscheme=https\n%s\n[mqtt]\nbroker=127.0.0.1:%d\nprefix=fleet\n"
        "username=screen\npassword=secret\nkeepalive=5\n" % (https.server_address[1], cafile, BPORT))

settings("cafile=" + WORK + "/ca.pem")
player, mosquitto = start_player(["-d", "SCREEN-1"], WORK, dict(os.environ, QSG_RENDER_LOOP="basic")), None
try:
    check(wait_for(lambda: "(255,0,0)" in screen_pixel(960, 540), 25), "the https schedule plays, broker down")
    mosquitto = broker()
    check(wait_for(lambda: retained("online") == "true", 15), "online retained once the broker is up")
    first = state()
    check(first.get("composition", {}).get("source") == "/red.png" and first["schedule"].startswith("https://")
          and first["since"] and first["version"] and "10.99.0.1" in first["addresses"], "state retained: %s" % first)
    check(remote("next", "--device", "OTHER").returncode == 0, "a command for another screen to all screens")
    time.sleep(1.5)
    check(state().get("since") == first.get("since"), "... is ignored")
    event = subprocess.Popen(["mosquitto_sub", "-p", str(BPORT), *LOGIN, "-t", "fleet/SCREEN-1/event", "-C", "1",
                              "-W", "10"], stdout=subprocess.PIPE, text=True)
    time.sleep(0.5)
    remote("next", "--to", "SCREEN-1", "--device", "SCREEN-1")
    check(wait_for(lambda: source().endswith("green.mp4"), 10), "a command to SCREEN-1 moves it to the video")
    check(wait_for(lambda: state().get("decoder") == "software", 5), "the state names the video's decoder: %s"
          % state().get("decoder"))
    check('"player_composition_changed"' in event.communicate()[0], "its status datagram arrives as an event")
    time.sleep(1.5)
    start = time.monotonic()
    shot = remote("screenshot", "SCREEN-1", "-o", WORK + "/shot.jpg")
    took = time.monotonic() - start
    size = run("/usr/bin/convert", WORK + "/shot.jpg", "-format", "%m %w %h %[pixel:p{640,360}]", "info:").stdout
    match = re.match(r"JPEG (\d+) (\d+) srgb\((\d+),(\d+),(\d+)\)", size)
    check(shot.returncode == 0 and took < 2 and match and int(match[1]) <= 1280 and int(match[3]) < 60
          and int(match[4]) > 200 and int(match[5]) < 60, "a JPEG with the video's green in %.2f s: %s" % (took, size))
    listed = {s["id"]: s for s in json.loads(remote("fleet", "--json").stdout or "[]")}
    check(listed.get("SCREEN-1", {}).get("online") and "green.mp4" in remote("fleet").stdout, "fleet lists it")
    mosquitto.terminate(), mosquitto.wait()
    mosquitto = broker()
    check(wait_for(lambda: retained("online") == "true", 15), "online again after the broker restarts")
    player.kill()
    start = time.monotonic()
    check(wait_for(lambda: retained("online") == "false", 6), "the last will after SIGKILL in %.1f s (keepalive 5 s)"
          % (time.monotonic() - start))
    settings("")
    del https.requests[:]
    player = start_player(["-d", "SCREEN-1"], WORK)
    line = "server certificate not trusted"
    check(wait_for(lambda: line in open(WORK + "/log").read(), 20), "without cafile= the fetch fails, with a reason")
    check(wait_for(lambda: "(255,0,0)" in screen_pixel(960, 540), 10) and not https.requests, "... the kept copy plays")
finally:
    stop(player)
    if mosquitto:
        mosquitto.terminate()
sys.exit("%d check(s) failed; the player's output ends: %s" % (len(failures), open(WORK + "/log").read()[-3000:])
         if failures else 0)
