#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Composition changes: counts the recorded frames that show neither the old nor the new composition.

The real player plays a looping schedule in which every composition is one flat colour of its own (solid
images, solid-colour H.264 clips, pages with that background served on loopback, an RTSP stream of a solid
colour from a loopback server). The screen is recorded at 30 frames a second (x11grab, shrunk to 160x90
while recording); the status datagrams say which change each frame belongs to. Every frame is sampled at
nine points, each point read as the old colour, the new colour, a blend of the two (a fade, the edge of a
slide), or a fault: black, the video item's grey, white (a blank web view), a stale colour (a composition
that is neither the old nor the new one), or another colour. Run it through tests/isolate.sh --net --x:

    tests/isolate.sh --net --x -- python3 bench/changes.py [--changes 50] [--kinds ...] [--fades 0,500]

PLAYER_EXE selects the player binary (default: build/sources/player of this checkout). Prints one row per
change kind and transition and exits 0; --save DIR writes every faulty frame as a PNG.
"""
import argparse, bisect, collections, http.server, json, math, os, re, shutil, socket, statistics  # noqa: E401
import struct, subprocess, sys, tempfile, threading, time, zlib  # noqa: E401
from functools import partial

TYPES = {"image": "Image", "video": "Video", "web": "WebView", "page": "PageBuilder", "stream": "RtspStream"}
DEFAULT_KINDS = "image-image,image-video,video-video,video-web,web-image,stream-image"
# Flat colours far from one another, from black, grey (the video item's background) and white.
PALETTE = [(220, 40, 40), (40, 190, 60), (50, 80, 230), (235, 215, 40), (215, 50, 200), (40, 200, 215),
           (245, 140, 20), (120, 40, 190), (245, 140, 180), (20, 120, 110), (140, 150, 20)]
FAULTS = {"black": (0, 0, 0), "grey": (128, 128, 128), "white": (255, 255, 255)}
CLASSES = ["black", "grey", "white", "stale", "other"]
W, H, FPS = 160, 90, 30
POINTS = [(x * W // 10, y * H // 10) for y in (2, 5, 8) for x in (2, 5, 8)]
TOLERANCE = 16       # RGB distance still read as the same colour (H.264 shifts a flat colour by 2 or 3)
FAULT_REACH = 45     # a faulty point is named after the fault it lies closest to, within this distance
GRACE = 0.06         # a frame this close before a datagram may already show that datagram's composition

args = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
args.add_argument("--changes", type=int, default=50, help="changes of each kind, per transition (default 50)")
args.add_argument("--kinds", default=DEFAULT_KINDS, help="comma-separated old-new pairs of image, video, web, "
                  "page (page builder), stream (default %s)" % DEFAULT_KINDS)
args.add_argument("--fades", default="0,500", help="transitions to run, comma-separated: N is a cross-fade of N ms "
                  "(0: instant), slideN a slide of N ms (default 0,500)")
args.add_argument("--duration", type=int, default=1600, help="ms each composition stays (default 1600)")
args.add_argument("--save", metavar="DIR", help="write the faulty frames there as PNG files")
args.add_argument("--trace", metavar="FILE", help="write one line per judged frame there: transition, change, "
                  "ms since its datagram, verdict, centre colour")
opts = args.parse_args()
if opts.changes < 1 or opts.duration < 100:
    sys.exit("changes: --changes must be at least 1 and --duration at least 100 ms")
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("changes: run me through tests/isolate.sh --net --x")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLAYER = os.path.abspath(os.environ.get("PLAYER_EXE") or os.path.join(ROOT, "build", "sources", "player"))
WORK = os.environ.get("PLAYER_TEST_TMP") or tempfile.mkdtemp(prefix="changes.")
MEDIA = os.path.join(WORK, "media")
os.makedirs(MEDIA, exist_ok=True)
if not os.access(PLAYER, os.X_OK):
    sys.exit("changes: no player at %s (set PLAYER_EXE)" % PLAYER)


def parse_kinds(text):
    kinds = []
    for item in text.replace("->", "-").split(","):
        pair = tuple(item.strip().split("-"))
        if len(pair) != 2 or not all(t in TYPES for t in pair):
            sys.exit("changes: unknown kind %r (old-new, each one of %s)" % (item, ", ".join(TYPES)))
        kinds.append(pair)
    return kinds


def parse_fades(text):
    fades = []
    for item in text.split(","):
        item = item.strip()
        slide = item.startswith("slide")
        digits = item[5:] if slide else item
        if not digits.isdigit():
            sys.exit("changes: unknown transition %r (N or slideN, in ms)" % item)
        fades.append(("slide" if slide else "fade", int(digits)))
    return fades


def chain(kinds):
    """A cycle of composition types in which each wanted change happens once; the changes that join one
    wanted change to the next are measured as well and shown as extra rows."""
    types = []
    for old, new in kinds:
        if not types or types[-1] != old:
            types.append(old)
        types.append(new)
    if len(types) > 2 and types[-1] == types[0]:
        types.pop()  # the loop back to the start makes that last change itself
    return types


def segment_distance(p, a, b):
    ab = [b[i] - a[i] for i in range(3)]
    length = sum(v * v for v in ab)
    t = 0.0 if length == 0 else max(0.0, min(1.0, sum(ab[i] * (p[i] - a[i]) for i in range(3)) / length))
    return math.dist(p, [a[i] + t * ab[i] for i in range(3)])


def triangle_distance(p, a, b, c):
    """Distance from p to the triangle abc: the colours that a mix of three colours can take."""
    sub = lambda u, v: [u[i] - v[i] for i in range(3)]
    dot = lambda u, v: sum(u[i] * v[i] for i in range(3))
    ab, ac, ap = sub(b, a), sub(c, a), sub(p, a)
    d1, d2 = dot(ab, ap), dot(ac, ap)
    bp, cp = sub(p, b), sub(p, c)
    d3, d4, d5, d6 = dot(ab, bp), dot(ac, bp), dot(ab, cp), dot(ac, cp)
    va, vb, vc = d3 * d6 - d5 * d4, d5 * d2 - d1 * d6, d1 * d4 - d3 * d2
    if va < 0 or vb < 0 or vc < 0 or va + vb + vc == 0:  # the closest point lies on an edge
        return min(segment_distance(p, a, b), segment_distance(p, a, c), segment_distance(p, b, c))
    v, w = vb / (va + vb + vc), vc / (va + vb + vc)
    return math.dist(p, [a[i] + v * ab[i] + w * ac[i] for i in range(3)])


def colours_for(count):
    """Colours for a cycle of compositions: every blend of two neighbours stays far from black, grey, white
    and the cycle's other colours, so that a fault is never mistaken for a blend. A background that shows
    through a fading item weighs at most a quarter, so 100 away from the blend it still stands out."""
    def fits(a, b, chosen):
        return (min(segment_distance(f, a, b) for f in FAULTS.values()) >= 100
                and all(segment_distance(c, a, b) >= 60 for c in chosen if c not in (a, b)))

    def extend(chosen):
        if len(chosen) == count:
            return chosen if count < 2 or fits(chosen[-1], chosen[0], chosen) else None
        for c in PALETTE:
            if c in chosen or (chosen and not fits(chosen[-1], c, chosen + [c])):
                continue
            if any(segment_distance(c, chosen[i], chosen[i + 1]) < 60 for i in range(len(chosen) - 1)):
                continue
            found = extend(chosen + [c])
            if found:
                return found
        return None
    found = extend([])
    if not found:
        sys.exit("changes: %d compositions in the cycle are more than the palette can tell apart" % count)
    return found


def png(path, width, height, rgb):
    rows = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))
    chunk = lambda tag, data: struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def clip(path, colour, seconds):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=0x%02X%02X%02X:s=320x180:r=30"
                    % colour, "-t", str(seconds), "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "15", path],
                   check=True, timeout=120)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *_):
        pass


# ---- the schedule and its content ----------------------------------------------------------------------------
kinds = parse_kinds(opts.kinds)
fades = parse_fades(opts.fades)
types = chain(kinds)
colours = colours_for(len(types))
http_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), partial(Quiet, directory=MEDIA))
http_server.daemon_threads = True
threading.Thread(target=http_server.serve_forever, daemon=True).start()
HTTP_PORT = http_server.server_address[1]

processes = []   # everything this script starts, stopped by pid at the end
stream_dir = tempfile.mkdtemp(prefix="changes-stream.")  # readable by the stream server's unprivileged user
os.chmod(stream_dir, 0o755)
sources, index_of = [], {}


def make_content():
    """One source per composition of the cycle, in the cycle's order, with a server for each stream."""
    for i, (kind, colour) in enumerate(zip(types, colours)):
        name = "c%d-%s" % (i, kind)
        if kind == "image":
            png(os.path.join(MEDIA, name + ".png"), 64, 36, bytes(colour) * 64 * 36)
            sources.append("http://127.0.0.1:%d/%s.png" % (HTTP_PORT, name))  # "/" paths would be files here
        elif kind == "video":
            clip(os.path.join(MEDIA, name + ".mp4"), colour, opts.duration / 1000 + 2)
            sources.append("http://127.0.0.1:%d/%s.mp4" % (HTTP_PORT, name))
        elif kind in ("web", "page"):
            with open(os.path.join(MEDIA, name + ".html"), "w") as out:
                out.write("<!doctype html><html><body style='margin:0;background:rgb%s'></body></html>" % (colour,))
            sources.append("http://127.0.0.1:%d/%s.html" % (HTTP_PORT, name) if kind == "web" else "/%s.html" % name)
            # The datagram names a page-builder page by its address as completed against the server.
            index_of["http://127.0.0.1:%d/%s.html" % (HTTP_PORT, name)] = i
        else:
            path, port = os.path.join(stream_dir, name + ".mp4"), 8554 + i
            clip(path, colour, 120)
            os.chmod(path, 0o644)
            processes.append(subprocess.Popen(
                ["env", "HOME=" + stream_dir, "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                 "cvlc", "-q", path, "--loop", "--sout", "#rtp{sdp=rtsp://127.0.0.1:%d/s}" % port],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            sources.append("rtsp://127.0.0.1:%d/s" % port)
        index_of[sources[-1]] = i


def stream_ready(url, timeout=20):
    """VLC answers RTSP with errors until its stream runs: ready once ffprobe reads a picture size."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        probe = subprocess.run(["ffprobe", "-v", "error", "-rtsp_transport", "udp", "-show_entries", "stream=width",
                                "-of", "csv=p=0", url], capture_output=True, text=True, timeout=30)
        if probe.stdout.strip():
            return True
        time.sleep(0.3)
    return False


def transitions(style, ms):
    if style == "slide":
        return {"enter": {"property": "x", "from": "mainWindow.width", "to": 0, "duration": ms},
                "exit": {"property": "x", "from": 0, "to": "-mainWindow.width", "duration": ms}}
    # A cross-fade: the entering item (drawn above) fades in over the leaving one, which stays opaque, so every
    # frame of the fade is a blend of the two compositions and never lets the window's black through.
    return {"enter": {"property": "opacity", "from": 0 if ms else 1, "to": 1, "duration": ms},
            "exit": {"property": "opacity", "from": 1, "to": 1, "duration": ms}}


def schedule(style, ms):
    elements = [{"type": TYPES[t], "duration": opts.duration, "attributes": {"source": s}}
                for t, s in zip(types, sources)]
    return {"schedule": {"schedule_uid": "changes", "private": True, "sequences": [{
        "diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
        "sequence": {"global_properties": {"duration": opts.duration, "transitions": transitions(style, ms)},
                     "elements": elements}}]}}


# ---- recording and classifying ---------------------------------------------------------------------------------
status_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
status_socket.bind(("0.0.0.0", 8001))
shown = []   # (arrival, composition index) of every composition-changed datagram of the current run
lock = threading.Lock()


def listen():
    while True:
        data = status_socket.recv(65536)
        stamp = time.time()  # the clock that the recorder stamps its frames with
        try:
            message = json.loads(data)
        except ValueError:
            continue
        if message.get("cmd") == "player_composition_changed":
            with lock:
                shown.append((stamp, index_of.get(message.get("infos", {}).get("source"), -1)))


threading.Thread(target=listen, daemon=True).start()


def read_point(p, old, new, others):
    if math.dist(p, old) <= TOLERANCE:
        return "old"
    if math.dist(p, new) <= TOLERANCE:
        return "new"
    if segment_distance(p, old, new) <= TOLERANCE:
        return "blend"
    # A fault may be half faded in or out, or show through a fading item (an item's own background drawn at
    # the item's opacity under its content): it lies in the triangle of the old, the new and the fault colour.
    # Close to the old-new edge every triangle is near: black, grey and white are named first, being what the
    # items themselves draw, and a stale colour only when none of them explains the point.
    for candidates in (FAULTS.items(), [("stale", c) for c in others]):
        best, reach = None, FAULT_REACH
        for name, fault in candidates:
            d = triangle_distance(p, old, new, fault)
            if d < reach:
                best, reach = name, d
        if best:
            return best
    return "other"


def read_frame(points, old, new):
    others = [c for i, c in enumerate(colours) if i not in (old, new)]
    reads = [read_point(p, colours[old], colours[new], others) if old >= 0 and new >= 0 else "other" for p in points]
    bad = [r for r in reads if r in CLASSES]
    if bad:
        return max(CLASSES, key=lambda c: (bad.count(c), -CLASSES.index(c)))
    if all(r == "new" for r in reads):
        return "new"
    return "old" if all(r == "old" for r in reads) else "blend"


Change = collections.namedtuple("Change", "kind start frames bad worst settle")


def judge(frames, marks, label):
    """Splits the frames at the datagrams and judges each change: the frames from a change's datagram to the
    next one may show the old composition, the new one or a blend of the two, and nothing else."""
    changes, saved, stamps = [], 0, [f[0] for f in frames]
    trace = open(opts.trace, "a") if opts.trace else None
    for j in range(1, len(marks) - 1):
        start, old, new = marks[j][0], marks[j - 1][1], marks[j][1]
        after = marks[j + 1]
        counts, run, worst, settle, count = collections.Counter(), [], 0.0, None, 0
        for k in range(bisect.bisect_left(stamps, start), bisect.bisect_left(stamps, after[0])):
            stamp, points, raw = frames[k]
            count += 1
            verdict = read_frame(points, old, new)
            if verdict in CLASSES and after[0] - stamp < GRACE and read_frame(points, new, after[1]) not in CLASSES:
                verdict = "next"
            if trace:
                trace.write("%s %d %s->%s %.0f %s %s\n" % (label, j, old, new, (stamp - start) * 1000, verdict,
                                                        "%d,%d,%d" % points[4]))
            if verdict == "new" and settle is None:
                settle = stamp - start
            if verdict in CLASSES:
                counts[verdict] += 1
                run.append(stamp)
                worst = max(worst, run[-1] - run[0] + 1.0 / FPS)
                if opts.save and raw is not None and saved < 500:
                    png(os.path.join(opts.save, "%s-%03d-%s-to-%s-%04d-%s.png" % (
                        label, j, types[old] if old >= 0 else "?", types[new] if new >= 0 else "?", k, verdict)),
                        W, H, zlib.decompress(raw))
                    saved += 1
            else:
                run = []
        kind = (types[old], types[new]) if old >= 0 and new >= 0 else ("?", "?")
        changes.append(Change(kind, start, count, counts, worst, settle))
    if trace:
        trace.close()
    return changes


def tag(style, ms):
    return "%s%d" % (style, ms)


def run(style, ms):
    """One player on the schedule with this transition; returns its judged changes, the capture rate, the
    changes seen and how many of them were out of the schedule's order."""
    label = tag(style, ms)
    document = os.path.join(WORK, "changes-%s.json" % label)
    with open(document, "w") as out:
        json.dump(schedule(style, ms), out)
    with lock:
        del shown[:]
    wanted = opts.changes * len(types) + 2   # the first composition, the changes, and one to close the last
    log = open(os.path.join(WORK, "player-%s.log" % label), "w")
    player = subprocess.Popen([PLAYER, "--json=" + document, "-h", "127.0.0.1", "-p", str(HTTP_PORT), "-d", "BENCH"],
                              cwd=WORK, stdout=log, stderr=subprocess.STDOUT)
    recorder, frames, readers = None, [], []
    try:
        end = time.monotonic() + 30
        while not shown and time.monotonic() < end and player.poll() is None:
            time.sleep(0.05)
        if not shown:
            raise RuntimeError("no composition came on screen within 30 s")
        # x11grab stamps each picture with the wall clock at its capture; showinfo prints those stamps, so that
        # the frames are placed against the datagrams by when they were taken, not by when they came through.
        recorder = subprocess.Popen(
            ["ffmpeg", "-nostats", "-v", "info", "-copyts", "-f", "x11grab", "-framerate", str(FPS), "-draw_mouse", "0",
             "-i", os.environ["DISPLAY"], "-vf", "scale=%d:%d:flags=neighbor,showinfo" % (W, H),
             "-fps_mode", "passthrough", "-pix_fmt", "rgb24", "-f", "rawvideo", "pipe:1"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        taken, errors = {}, []

        def record():
            size = W * H * 3
            while True:
                raw = recorder.stdout.read(size)
                if len(raw) < size:
                    return
                points = [tuple(raw[(y * W + x) * 3:(y * W + x) * 3 + 3]) for x, y in POINTS]
                # A flat-coloured frame shrinks to a few hundred bytes: kept only when faulty frames are saved.
                frames.append((points, zlib.compress(raw, 1) if opts.save else None))

        def stamps():
            for line in recorder.stderr:
                found = re.search(rb" n: *(\d+) pts:(\d+) ", line)
                if found:
                    taken[int(found.group(1))] = int(found.group(2)) / 1e6
                elif b"showinfo" not in line and len(errors) < 20:
                    errors.append(line.decode(errors="replace").strip())
        readers = [threading.Thread(target=record, daemon=True), threading.Thread(target=stamps, daemon=True)]
        for reader in readers:
            reader.start()
        deadline = time.monotonic() + wanted * opts.duration / 1000 * 1.5 + 30
        while len(shown) < wanted and time.monotonic() < deadline and player.poll() is None and recorder.poll() is None:
            time.sleep(0.2)
        if player.poll() is not None:
            raise RuntimeError("the player ended by itself")
        if recorder.poll() is not None:
            raise RuntimeError("the recorder ended: %s" % " / ".join(errors[-3:]))
    finally:
        for process in (recorder, player):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        log.close()
    for reader in readers:
        reader.join(5)
    with lock:
        marks = list(shown)
    frames = [(taken[k],) + f for k, f in enumerate(frames) if k in taken]
    elapsed = frames[-1][0] - frames[0][0] if len(frames) > 1 else 0
    rate = (len(frames) - 1) / elapsed if elapsed else 0.0
    skips = sum(1 for a, b in zip(marks, marks[1:]) if b[1] != (a[1] + 1) % len(types))
    return judge(frames, marks, label), rate, len(marks) - 1, skips


def report(label, changes, rate, seen, skips):
    print("\n%s: %d changes, capture %.1f frames/s%s" % (label, seen, rate, ", %d out of the schedule's order" % skips
                                                        if skips else ""))
    print("%-18s %7s %5s %6s %6s %5s %6s %6s %6s %8s %9s %13s" % (
        "change", "changes", "faulty", "bad", "black", "grey", "white", "stale", "other", "frames", "worst gap",
        "settle med/max"))
    order = kinds + sorted({c.kind for c in changes} - set(kinds))
    for kind in order:
        rows = [c for c in changes if c.kind == kind]
        if not rows:
            continue
        bad = collections.Counter()
        for c in rows:
            bad.update(c.bad)
        settles = [c.settle for c in rows if c.settle is not None]
        settle = ("%4.0f/%4.0f ms" % (statistics.median(settles) * 1000, max(settles) * 1000) if settles else "never")
        name = "%s->%s%s" % (kind[0], kind[1], "" if kind in kinds else " *")
        print("%-18s %7d %5d %6d %6d %5d %6d %6d %6d %8d %6.0f ms %13s%s" % (
            name, len(rows), sum(1 for c in rows if c.bad), sum(bad.values()), *[bad[k] for k in CLASSES],
            sum(c.frames for c in rows), max(c.worst for c in rows) * 1000, settle,
            "" if len(settles) == len(rows) else "  (new never seen in %d)" % (len(rows) - len(settles))))


try:
    make_content()
    for kind, source in zip(types, sources):
        if kind == "stream" and not stream_ready(source):
            sys.exit("changes: the loopback RTSP server at %s never served its stream" % source)
    if opts.save:
        os.makedirs(opts.save, exist_ok=True)
    print("composition changes: %s; %d changes of each kind per transition, %d ms per composition; cycle: %s"
          % (PLAYER, opts.changes, opts.duration, " ".join("%s%s" % (t, c) for t, c in zip(types, colours))),
          flush=True)
    totals = collections.Counter()
    for style, ms in fades:
        label = "slide %d ms" % ms if style == "slide" else ("instant (0 ms)" if ms == 0 else "fade %d ms" % ms)
        try:
            changes, rate, seen, skips = run(style, ms)
        except RuntimeError as error:
            with open(os.path.join(WORK, "player-%s.log" % tag(style, ms))) as log:
                tail = log.readlines()[-15:]
            print("\n%s: %s; the player's last lines:\n%s" % (label, error, "".join(tail)), flush=True)
            continue
        report(label, changes, rate, seen, skips)
        for c in changes:
            if c.kind in kinds:
                totals[label] += sum(c.bad.values())
        sys.stdout.flush()
    print("\nbad frames in the measured kinds (rows marked * only join them): " +
          ", ".join("%s %d" % item for item in totals.items()))
    print("bad: frames showing neither the old nor the new composition; faulty: changes with at least one; "
          "worst gap: longest run of bad frames in one change; settle: datagram to the first frame all new")
finally:
    for process in processes:
        process.terminate()
    for process in processes:
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
    http_server.shutdown()
    shutil.rmtree(stream_dir, ignore_errors=True)
