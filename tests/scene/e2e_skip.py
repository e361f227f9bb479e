#!/usr/bin/env python3
"""The real player on a sequence where only a red image and a green video can show, between a 404 image, a page on a
port where nobody listens and a missing video: the screen never shows black or grey once the red has come, no status
datagram announces a broken item, and the play log names each skip with its reason. The rules themselves (where the
next change goes, how long a round of failures waits, the skip record) are tst_scripts' and tst_playlog's. Only inside
tests/isolate.sh --net --x."""
import json, os, re, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (check, datagrams, element, failures, free_port, require_isolation, schedule,  # noqa: E402
                     screen_colours, serve, solid_png, start_player, stop, wait_for)

require_isolation("e2e_skip")
WORK = os.environ["PLAYER_TEST_TMP"]
solid_png(os.path.join(WORK, "red.png"), "red")
subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=0x00ff00:s=320x180:r=25", "-t", "4",
                "-pix_fmt", "yuv420p", "-c:v", "libx264", os.path.join(WORK, "green.mp4")], check=True, timeout=60)
server = serve(WORK)
elements = [element("Image", server.url + "red.png", duration=1500), element("Image", server.url + "gone.png", duration=1500),
            element("WebView", "http://127.0.0.1:%d/" % free_port(), duration=1500),
            element("Video", server.url + "gone.mp4", duration=3000), element("Video", server.url + "green.mp4", duration=1500)]
open(os.path.join(WORK, "doc.json"), "w").write(schedule(elements, duration=1500))
status = datagrams(socket.AF_INET, ("0.0.0.0", 8001))
PLAY_LOG = os.path.join(WORK, "play.log")
player = start_player(["--json=" + os.path.join(WORK, "doc.json"), "--play-log=" + PLAY_LOG], WORK,
                      dict(os.environ, QSG_RENDER_LOOP="basic"))


def colours():
    """The screen's colours covering more than 1% of it, as (r, g, b)."""
    lines = [re.match(r"\s*(\d+):\s*\((\d+),(\d+),(\d+)", line) for line in screen_colours().splitlines()]
    counts = [(int(m.group(1)), tuple(int(v) for v in m.group(2, 3, 4))) for m in lines if m]
    return {c for n, c in counts if n * 100 > sum(n for n, _ in counts)}


try:
    near = lambda c, e: sum(abs(a - b) for a, b in zip(c, e)) <= 90
    check(wait_for(lambda: (255, 0, 0) in colours(), 20), "the red image comes first")
    seen, bad, end = set(), [], time.monotonic() + 12
    while time.monotonic() < end:
        for c in colours():
            (seen.add("red") if near(c, (255, 0, 0)) else seen.add("green") if near(c, (0, 255, 0)) else bad.append(c))
        time.sleep(0.1)
    check(seen == {"red", "green"} and not bad, "only red and green for 12 s: %s, others %s" % (seen, bad[:5]))
    shown = {json.loads(text)["infos"]["source"].rsplit("/", 1)[-1] for _, text in status}
    check(shown == {"red.png", "green.mp4"}, "datagrams only for what showed: %s" % shown)
    stop(player)
    skips = [json.loads(line) for line in open(PLAY_LOG) if '"skipped"' in line]
    reasons = {(r["type"], r["reason"].split(":")[0]) for r in skips}
    check(reasons == {("Image", "image not loaded"), ("WebView", "page not loaded"), ("Video", "video not played")}
          and 3 <= len(skips) <= 18, "each skip logged with its reason, no faster than the sequence: %d %s" % (len(skips), reasons))
finally:
    stop(player)
    server.shutdown()
sys.exit("%d check(s) failed; the player's output in %s/log" % (len(failures), WORK) if failures else 0)
