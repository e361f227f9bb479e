#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Video path: what one H.264 clip (1080p30 unless --size/--rate) costs, played several ways on the same screen.

  ours         VlcPlayer into a full-screen VlcVideoSurface (bench/video_path.cpp)
  decode-only  libvlc into a video-memory sink that does nothing (the same binary)
  cvlc         VLC's own player, cvlc --vout=gl, full screen, as the user nobody
  player       the player executable on a local schedule of that one video
  player-between  the same between two images (the video cued while the first image shows)
  player-cage  the player's one-video case on Wayland inside the kiosk compositor, as the package runs it
               (cage on its pixman renderer, nested in the same Xvfb); CPU of player, cage and X server

Each case plays the whole clip; CPU time is read from /proc for the case's process and
for the X server over a window in the middle of playback (after a warm-up, before the
end), and divided by the clip frames due in that window. Frame counts are taken in the
same window (see bench/README.md). Rounds are interleaved and the medians are printed,
with the ratios. Needs build/bench/video_path and tools/install-deps.sh --bench.
Run it through tests/isolate.sh --net --x:

    tests/isolate.sh --net --x -- python3 bench/video_path.py [--seconds 15] [--rounds 3]
"""
import argparse, json, os, queue, re, shutil, socket, statistics, subprocess, sys, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
args = argparse.ArgumentParser()
args.add_argument("--seconds", type=float, default=15, help="clip length")
args.add_argument("--rounds", type=int, default=3)
args.add_argument("--size", default="1920x1080", help="the clip's size (3840x2160 for 4K)")
args.add_argument("--rate", type=int, default=30, help="the clip's frame rate")
args.add_argument("--cases", default="player,player-between,decode-only,cvlc,ours",
                  help="also: decode-filters, player-compare, player-cage")
args.add_argument("--compare", metavar="EXE", help="adds the case ours-compare: ours from another build of video_path")
args.add_argument("--player", default=os.environ.get("PLAYER_EXE", os.path.join(HERE, "..", "build", "sources", "player")))
args.add_argument("--compare-player", metavar="EXE",
                  help="adds the case player-compare (and player-cage-compare): the player from another build")
args.add_argument("--exe", default=os.environ.get("VIDEO_PATH_EXE", os.path.join(HERE, "..", "build", "bench", "video_path")))
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("video_path: run me through tests/isolate.sh --net --x")
WARMUP, TAIL = 1.5, 2.0   # seconds left out of the CPU window at both ends
if opts.seconds < WARMUP + TAIL + 3:
    sys.exit("video_path: --seconds too short for a measuring window")
TICK = os.sysconf("SC_CLK_TCK")

# cvlc refuses to run as root: the clip and its home lie where nobody can reach them.
tmp = os.environ["PLAYER_TEST_TMP"]
os.chmod(tmp, 0o711)
WORK = os.path.join(tmp, "video_path")
os.makedirs(WORK, exist_ok=True)
shutil.chown(WORK, "nobody", "nogroup")
CLIP = os.path.join(WORK, "clip.mp4")
subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d" % (opts.size, opts.rate),
                "-t", str(opts.seconds),
                "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "veryfast", CLIP], check=True)
os.chmod(CLIP, 0o644)
LOG = open(os.path.join(tmp, "video_path.log"), "w")


def cpu_ms(pid, tid=None):
    path = "/proc/%d/task/%s/stat" % (pid, tid) if tid else "/proc/%d/stat" % pid
    fields = open(path).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / TICK


def x_server():
    # Ours is the one Xvfb in this network namespace (isolate.sh starts it there).
    mine = os.readlink("/proc/self/ns/net")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if open("/proc/%s/comm" % pid).read().strip() == "Xvfb" and os.readlink("/proc/%s/ns/net" % pid) == mine:
                return int(pid)
        except OSError:
            pass
    sys.exit("video_path: no Xvfb in this namespace")


class Bench:
    """A case of bench/video_path.cpp: counters on request over its standard input."""
    def __init__(self, mode, exe):
        self.proc = subprocess.Popen([exe, mode, CLIP], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=LOG, text=True, bufsize=1)
        if self.proc.stdout.readline().strip() != "playing":
            sys.exit("video_path: %s did not start (see %s)" % (mode, LOG.name))

    def stats(self):
        self.proc.stdin.write("stats\n")
        line = self.proc.stdout.readline()
        return json.loads(line) if line else None

    def finish(self):
        for line in self.proc.stdout:
            last = json.loads(line)
            if last.get("end"):
                break
        self.proc.stdin.close()
        self.proc.wait(30)
        return last


class Cvlc:
    """VLC's own player, asked for its counters through its remote-control socket."""
    COUNTERS = {"decoded": r"video decoded\s*:\s*(\d+)", "displayed": r"frames displayed\s*:\s*(\d+)",
                "lost": r"frames lost\s*:\s*(\d+)"}

    def __init__(self):
        sock = os.path.join(WORK, "rc.sock")
        if os.path.exists(sock):
            os.unlink(sock)
        env = {"HOME": WORK, "XDG_RUNTIME_DIR": WORK, "DISPLAY": os.environ["DISPLAY"], "PATH": "/usr/bin:/bin"}
        self.proc = subprocess.Popen(["cvlc", "--extraintf", "oldrc", "--rc-fake-tty", "--rc-unix", sock, "--vout=gl",
                                      "--fullscreen", "--no-video-title-show", "--aout=adummy", "--play-and-exit", CLIP],
                                     user="nobody", group="nogroup", extra_groups=[], env=env, cwd=WORK,
                                     stdin=subprocess.DEVNULL, stdout=LOG, stderr=LOG)
        deadline = time.monotonic() + 20
        while True:
            try:
                self.rc = socket.socket(socket.AF_UNIX)
                self.rc.connect(sock)
                break
            except OSError:
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    sys.exit("video_path: cvlc did not start (see %s)" % LOG.name)
                time.sleep(0.05)
        self.rc.settimeout(1)
        self.last = None

    def stats(self):
        try:
            self.rc.sendall(b"stats\n")
            text = b""
            while b"end of statistical info" not in text:
                chunk = self.rc.recv(65536)
                if not chunk:
                    return None
                text += chunk
        except OSError:
            return None
        found = {k: re.search(p, text.decode(errors="replace")) for k, p in self.COUNTERS.items()}
        if not all(found.values()):
            return None   # no input yet, or already gone
        self.last = {k: int(m.group(1)) for k, m in found.items()}
        return self.last

    def finish(self):
        # It leaves at the end of the clip; the last counters read before that stand.
        while self.stats() is not None:
            time.sleep(0.1)
        self.proc.wait(30)
        return self.last


class Player:
    """The player executable on a local schedule; its video outputs print their counters every
    second (player.video debug lines), and its status datagrams say which composition is on."""
    LINE = re.compile(r"video counters (\S+): decoded (\d+) displayed (\d+) presented (\d+) drawn (\d+)")

    def __init__(self, exe, between, cage=False):
        clip = {"type": "Video", "duration": 0, "attributes": {"source": "file://" + CLIP}}
        image = {"type": "Image", "duration": 3000, "attributes": {"source": "file://%s/still.png" % WORK}}
        elements = [image, clip, image] if between else [clip]
        doc = os.path.join(WORK, "player.json")
        json.dump({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {}, "hours": {}},
                  "sequence": {"global_properties": {"duration": 3000}, "elements": elements}}]}}, open(doc, "w"))
        # The console keeps warnings only unless told: the counters are plain debug lines.
        env = dict(os.environ, QT_LOGGING_RULES="player.video.debug=true;default.debug=true")
        self.status = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.status.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.status.bind(("0.0.0.0", 8001))
        self.status.settimeout(20)
        command, user = [exe, "--json=" + doc], {}
        if cage:
            # cage will not run as root: the package runs it as a user of its own, here nobody.
            runtime = os.path.join(WORK, "runtime")
            os.makedirs(runtime, mode=0o700, exist_ok=True)
            shutil.chown(runtime, "nobody", "nogroup")
            env.update(HOME=WORK, XDG_RUNTIME_DIR=runtime, WLR_BACKENDS="x11", WLR_RENDERER="pixman",
                       WLR_LIBINPUT_NO_DEVICES="1", QT_QPA_PLATFORM="wayland", QT_WAYLAND_DISABLE_WINDOWDECORATION="1")
            command, user = ["/usr/bin/cage", "-d", "--"] + command, dict(user="nobody", group="nogroup", extra_groups=[])
        self.proc = subprocess.Popen(command, cwd=WORK, env=env, stdin=subprocess.DEVNULL,
                                     stdout=LOG, stderr=subprocess.PIPE, text=True, bufsize=1, **user)
        # The process measured is the player; cage, when there, counts beside the X server.
        self.pid, self.extra = self.proc.pid, []
        self.lines = queue.Queue()
        self.outputs = {}
        threading.Thread(target=self.read, daemon=True).start()
        # Wait for the video's composition: in the between case the image comes first.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            try:
                message = json.loads(self.status.recv(65536))
            except (OSError, ValueError):
                break
            if message.get("cmd") == "player_composition_changed" and \
                    message.get("infos", {}).get("source", "").endswith(".mp4"):
                self.status.close()
                if cage:
                    children = open("/proc/%d/task/%d/children" % (self.proc.pid, self.proc.pid)).read().split()
                    self.pid, self.extra = int(children[0]), [self.proc.pid]
                return
        sys.exit("video_path: the player never showed the video (see %s)" % LOG.name)

    def read(self):
        # Always drained: a player blocked on a full pipe would stall its GUI thread.
        for line in self.proc.stderr:
            match = self.LINE.search(line)
            if match:
                self.lines.put((match.group(1), [int(v) for v in match.groups()[1:]]))
            else:
                LOG.write(line)
        self.lines.put(None)

    def stats(self):
        # The lines already read are old; the next one's arrival is the instant its counters hold for.
        try:
            while True:
                item = self.lines.get_nowait()
                if item is None:
                    return None
                self.outputs[item[0]] = item[1]
        except queue.Empty:
            pass
        try:
            item = self.lines.get(timeout=5)
        except queue.Empty:
            return None
        if item is None:
            return None
        self.outputs[item[0]] = item[1]
        total = [sum(c[i] for c in self.outputs.values()) for i in range(3)]
        return {"decoded": total[0], "vmem": total[1], "presented": total[2],
                "drawn": max(c[3] for c in self.outputs.values())}

    def finish(self):
        last = self.stats()
        self.proc.terminate()
        try:
            self.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return last


def threads_ms(pid):
    """CPU of the GUI thread and of the rendering threads (scene graph and its software rasteriser)."""
    gui = render = 0.0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            name = open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip()
            ms = cpu_ms(pid, tid)
        except OSError:
            continue
        if int(tid) == pid:
            gui += ms
        elif name == "QSGRenderThread" or name.startswith("llvmpipe"):
            render += ms
    return gui, render


def run(case, xvfb):
    if case == "cvlc":
        player = Cvlc()
    elif case.startswith("player"):
        player = Player(opts.compare_player if case.endswith("-compare") else opts.player, case == "player-between",
                        case.startswith("player-cage"))
    elif case in ("ours", "ours-compare"):
        player = Bench("ours", opts.compare if case == "ours-compare" else opts.exe)
    else:
        player = Bench({"decode-only": "decode"}.get(case, case), opts.exe)
    deadline = time.monotonic() + 20
    while (player.stats() or {}).get("decoded", 0) == 0:
        if time.monotonic() > deadline:
            sys.exit("video_path: %s shows no decoded frame" % case)
        time.sleep(0.05)
    time.sleep(WARMUP)
    pid = getattr(player, "pid", player.proc.pid)
    extra = getattr(player, "extra", [])
    sample = lambda: (player.stats(), time.monotonic(), cpu_ms(pid), cpu_ms(xvfb) + sum(map(cpu_ms, extra)), threads_ms(pid))
    a = sample()
    time.sleep(opts.seconds - WARMUP - TAIL - 1)
    b = sample()
    end = player.finish()
    if not (a[0] and b[0] and end):
        sys.exit("video_path: %s ended before the measuring window did" % case)
    delta = lambda key: b[0][key] - a[0][key] if key in b[0] else None
    # libvlc 3.0 counts every decoded picture twice (181 for a 90-frame clip).
    result = {"due": round((b[1] - a[1]) * opts.rate), "decoded": delta("decoded") // 2, "presented": delta("presented"),
              "drawn": delta("drawn") if case.startswith(("ours", "player")) else delta("displayed") if case == "cvlc" else None,
              "pool": b[0].get("pool"), "proc": b[2] - a[2], "x": b[3] - a[3]}
    shown = result["drawn"] if result["drawn"] is not None else delta("vmem")
    result["dropped"] = max(0, result["due"] - shown)
    result["proc"] /= result["due"]
    result["x"] /= result["due"]
    if case.startswith(("ours", "player")):
        # Independent of how many pictures the load made libvlc drop: what our
        # own threads spend per picture they handled.
        result["gui"] = (b[4][0] - a[4][0]) / max(1, result["presented"])
        result["render"] = (b[4][1] - a[4][1]) / max(1, result["drawn"])
    return result


xvfb = x_server()
cases = opts.cases.split(",") + (["ours-compare"] if opts.compare else []) + \
    (["player-compare"] if opts.compare_player else []) + \
    (["player-cage-compare"] if opts.compare_player and "player-cage" in opts.cases.split(",") else [])
subprocess.run(["/usr/bin/convert", "-size", "1920x1080", "xc:#3060a0", os.path.join(WORK, "still.png")], check=True)
results = {case: [] for case in cases}
for r in range(opts.rounds):
    for case in cases:
        results[case].append(run(case, xvfb))
        print("round %d %-14s %s" % (r + 1, case, json.dumps(results[case][-1])), flush=True)

def median(case, key):
    values = [r[key] for r in results[case] if r.get(key) is not None]
    return statistics.median(values) if values else None


print("\nclip: %g s of %s at %d fps, H.264; %d round(s), medians; counts and CPU over %g s of each run"
      % (opts.seconds, opts.size, opts.rate, opts.rounds, opts.seconds - WARMUP - TAIL - 1))
print("%-14s %5s %8s %9s %6s %7s %5s  %s" % ("case", "due", "decoded", "presented", "drawn", "dropped", "pool",
                                            "CPU ms per frame due (process + X server [+ cage]), per frame drawn"))
per_frame = {}
for case in cases:
    col = lambda key: "-" if median(case, key) is None else "%g" % median(case, key)
    per_frame[case] = median(case, "proc") + median(case, "x")
    # A machine that cannot keep up drops pictures: what each picture on screen cost tells more then.
    drawn = median(case, "drawn")
    per_drawn = "%.1f" % (per_frame[case] * median(case, "due") / drawn) if drawn else "-"
    print("%-14s %5s %8s %9s %6s %7s %5s  %.2f (%.2f + %.2f), %s" % (
        case, col("due"), col("decoded"), col("presented"), col("drawn"), col("dropped"), col("pool"),
        per_frame[case], median(case, "proc"), median(case, "x"), per_drawn))
for case in cases:
    if case.startswith(("ours", "player")):
        print("%s: GUI thread %.2f ms per presented frame, rendering threads %.2f ms per drawn frame"
              % (case, median(case, "gui"), median(case, "render")))
for mine in ("player", "player-between", "player-cage", "ours"):
    for other in ("decode-only", "cvlc", "decode-filters", "ours-compare", "player-compare", "player-cage-compare"):
        # A build against another build on the same display server only.
        crossed = other.startswith("player") and (other == "player-cage-compare") != (mine == "player-cage")
        if mine in per_frame and other in per_frame and mine != other and not crossed:
            print("ratio %s / %s: %.2f" % (mine, other, per_frame[mine] / per_frame[other]))
print("(the machine may be shared: figures of separate runs move with its load; ratios within one run hold better)")
