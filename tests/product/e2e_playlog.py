#!/usr/bin/env python3
"""The real player served by the development signage server: its proof-of-play log has a line per composition, in
the order shown, with how each ended (the log's own rules are tst_playlog's); and the watchdog pings. Only inside
tests/isolate.sh --net --x."""
import json, os, signal, socket, subprocess, sys, time  # noqa: E401

from support import check, datagrams, failures, require_isolation, solid_png, start_player, start_server, wait_for

require_isolation("e2e_playlog")
WORK = os.path.join(os.environ["PLAYER_TEST_TMP"], "playlog")
RUN = os.path.join(WORK, "run1")
REMOTE = os.path.join(os.environ["PLAYER_BINARY_DIR"], "tools", "player-remote", "player-remote")
os.makedirs(os.path.join(WORK, "content", "schedules"))
for name in ("a", "b", "c"):
    solid_png(os.path.join(WORK, "content", name + ".png"), "red")
for uid, elements in (("S1", [("/a.png", 1500), ("/missing.png", 1500), ("/b.png", 0)]), ("S2", [("/c.png", 0)])):
    json.dump({"schedule": {"schedule_uid": uid, "sequences": [{
        "diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}}, "sequence": {"global_properties": {}, "elements": [
            {"type": "Image", "duration": d, "attributes": {"source": s}} for s, d in elements]}}]}},
        open(os.path.join(WORK, "content", "schedules", uid + ".json"), "w"))
json.dump({"default": "S1"}, open(os.path.join(WORK, "content", "devices.json"), "w"))
server, port = start_server(os.path.join(WORK, "content"))
status, pings = datagrams(socket.AF_INET, ("0.0.0.0", 8001)), datagrams(socket.AF_UNIX, WORK + "/notify")


def remote(*args):
    subprocess.run([REMOTE, *args, "--to", "127.0.0.1", "--device", "scr"], check=True, stdout=subprocess.DEVNULL, timeout=10)


# The log from player.ini; the watchdog asks for 600 ms.
os.makedirs(RUN)
open(os.path.join(RUN, "player.ini"), "w").write("[json]\nhost=127.0.0.1\nport=%d\n[log]\nplayLog=logs/play.log\n" % port)
run1 = start_player(["--deviceUid=scr"], RUN, dict(os.environ, NOTIFY_SOCKET=WORK + "/notify", WATCHDOG_USEC="600000"))
try:
    check(wait_for(lambda: len(pings) >= 10, 25) and [p for _, p in pings[:3]] == ["READY=1", "WATCHDOG=1", "WATCHDOG=1"]
          and {p for _, p in pings[1:]} == {"WATCHDOG=1"}, "READY=1, then WATCHDOG=1: %s" % pings[:3])
    gaps = sorted(b[0] - a[0] for a, b in zip(pings[4:], pings[5:10]))  # past the busy start-up
    check(0.2 < gaps[len(gaps) // 2] < 0.5, "a ping every half of WATCHDOG_USEC (median %.3f s)" % gaps[len(gaps) // 2])
    run1.send_signal(signal.SIGSTOP)
    stopped = len(pings)
    time.sleep(1.5)
    check(len(pings) == stopped, "no ping while the GUI thread is stopped")
    run1.send_signal(signal.SIGCONT)
    check(wait_for(lambda: len(pings) >= stopped + 3, 3), "pings resume with the event loop")

    logs = os.path.join(RUN, "logs")
    if check(wait_for(lambda: len(status) >= 2, 20), "/b.png comes on screen, /missing.png skipped"):
        remote("next")
        if wait_for(lambda: len(status) >= 3, 10):
            remote("play", "--schedule", "S2")
            check(wait_for(lambda: len(status) >= 4, 10), "S2 plays")
    run1.kill()
    lines = [json.loads(line) for line in open(os.path.join(logs, "play.log"))]
    check([(r["element"], r["source"], r["ended"]) for r in lines] == [
        (1, "/missing.png", "skipped"), (0, "/a.png", "duration"), (2, "/b.png", "remote"), (0, "/a.png", "reload")]
          and all((r["schedule"], r["sequence"], r["type"], r["device"]) == ("S1", 0, "Image", "scr") for r in lines),
          "one line per composition with how it ended, schedule, sequence, type and device: %s" % lines)
except Exception as error:  # a broken expectation above, reported with the players' output
    check(False, "%s: %s" % (type(error).__name__, error))
finally:
    for process in (run1, server):
        process.kill()
    if failures:
        print("player output", open(os.path.join(RUN, "log")).read()[-1500:])
sys.exit(1 if failures else 0)
