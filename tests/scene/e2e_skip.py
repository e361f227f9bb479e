#!/usr/bin/env python3
"""The real player on a red image and a green video between a 404 image, a page on a dead port and a missing video:
once red shows, only red and green, only they announced, and each skip in the play log with its reason. The rules
are tst_scripts', tst_gate's and tst_playlog's. Only inside tests/isolate.sh --net --x."""
import json, os, re, socket, subprocess, sys, time  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "product"))
from support import (check, datagrams, element, failures, free_port, require_isolation, schedule,  # noqa: E402
                     screen_colours, serve, solid_png, start_player, stop, wait_for)

require_isolation("e2e_skip")
WORK, GREEN = os.environ["PLAYER_TEST_TMP"], (0, 255, 0)
solid_png(os.path.join(WORK, "red.png"), "red")
subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=c=0x00ff00:s=320x180:r=25", "-t", "4", "-pix_fmt",
                "yuv420p", os.path.join(WORK, "green.mp4")], check=True, timeout=60)
url, status = serve(WORK).url, datagrams(socket.AF_INET, ("0.0.0.0", 8001))
open(os.path.join(WORK, "doc.json"), "w").write(schedule([element("Image", url + "red.png"), element("Image", url + "gone.png"),
    element("WebView", "http://127.0.0.1:%d/" % free_port()), element("Video", url + "gone.mp4", duration=3000),
    element("Video", url + "green.mp4")], duration=1500))
player = start_player(["--json=" + WORK + "/doc.json", "--play-log=" + WORK + "/play.log"], WORK,
                      dict(os.environ, QSG_RENDER_LOOP="basic"))
colours = lambda: {tuple(map(int, m)) for m in re.findall(r"(\d{4,}):\s*\((\d+),(\d+),(\d+)", screen_colours())}  # noqa
near = lambda c, e: sum(abs(a - b) for a, b in zip(c[1:], e)) <= 90  # noqa: E731
try:
    check(wait_for(lambda: any(near(c, (255, 0, 0)) for c in colours()), 20), "the red image comes first")
    seen, end = [], time.monotonic() + 12
    while time.monotonic() < end:
        seen += ["red" if near(c, (255, 0, 0)) else "green" if near(c, GREEN) else c for c in colours()]
        time.sleep(0.1)
    check(set(seen) == {"red", "green"}, "only red and green for 12 s: %s" % set(seen))
    shown = {json.loads(text)["infos"]["source"].rsplit("/", 1)[-1] for _, text in status}
    check(shown == {"red.png", "green.mp4"}, "datagrams only for what showed: %s" % shown)
    skips = [json.loads(line) for line in open(WORK + "/play.log") if '"skipped"' in line]
    check({(r["type"], r["reason"].split(":")[0]) for r in skips} == {("Image", "image not loaded"), ("WebView",
          "page not loaded"), ("Video", "video not played")} and len(skips) <= 18, "skips logged with reasons: %s" % skips)
finally:
    stop(player)
sys.exit("%d check(s) failed; the player's output ends: %s" % (len(failures), open(WORK + "/log").read()[-3000:])
         if failures else 0)
