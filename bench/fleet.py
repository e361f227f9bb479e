#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""A fleet on one broker: one Mosquitto on loopback, two real players and N simulated screens.

The simulated screens are bare MQTT 3.1.1 clients (one asyncio process, no library) that do what a player does:
connect with a retained last will on P/ID/online, publish online and state retained, then every --change seconds
(spread at random) a status event and a new retained state. The two real players run in the test namespace, each
under a host name of its own (so each has its own topics without a device identifier) on a schedule of images
with instant changes. Reports:

- how long `player-remote fleet --json` takes to list every screen, and whether it lists them all;
- a command published on P/command: the time until each real player's status event for it arrives (median, max);
- the broker's CPU per 1,000 screens and the message rate it carried, over --window seconds.

    tests/isolate.sh --net --x -- python3 bench/fleet.py [--screens 2000] [--change 10] [--commands 20]

Needs PLAYER_EXE (default build/sources/player) and PLAYER_TEST_TMP (a scratch directory); mosquitto installed.
"""
import argparse, asyncio, json, os, random, resource, statistics, subprocess, sys, time  # noqa: E401

args = argparse.ArgumentParser()
args.add_argument("--screens", type=int, default=2000)
args.add_argument("--change", type=float, default=10.0, help="seconds between a simulated screen's changes")
args.add_argument("--commands", type=int, default=20)
args.add_argument("--window", type=float, default=30.0, help="seconds over which the broker's CPU is measured")
opts = args.parse_args()
if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
    sys.exit("fleet: run me through tests/isolate.sh --net --x")
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
WORK = os.environ["PLAYER_TEST_TMP"]
PLAYER = os.path.abspath(os.environ.get("PLAYER_EXE", os.path.join(ROOT, "build", "sources", "player")))
REMOTE = os.path.join(os.path.dirname(os.path.dirname(PLAYER)), "tools", "player-remote", "player-remote")
PORT, PREFIX = 18830, "bench"
# One descriptor a connection, for this process and (inherited) the broker.
resource.setrlimit(resource.RLIMIT_NOFILE, (opts.screens + 1024, opts.screens + 1024))

def varlen(n):
    out = bytearray()
    while True:
        n, digit = divmod(n, 128)
        out.append(digit | (0x80 if n else 0))
        if not n:
            return bytes(out)

def text(b):
    return len(b).to_bytes(2, "big") + b

def packet(kind, body):
    return bytes([kind]) + varlen(len(body)) + body

def connect(client, will):
    flags = 0x02 | (0x04 | 0x08 | 0x20 if will else 0)  # clean session; will QoS 1, retained
    body = text(b"MQTT") + bytes([4, flags]) + (30).to_bytes(2, "big") + text(client)
    return packet(0x10, body + (text(will) + text(b"false") if will else b""))

def publish(topic, payload, retain, mid):
    return packet(0x32 | (1 if retain else 0), text(topic) + mid.to_bytes(2, "big") + payload)

def subscribe(topics, mid):
    return packet(0x82, mid.to_bytes(2, "big") + b"".join(text(t) + b"\x01" for t in topics))

async def read_packet(reader):
    head = await reader.readexactly(1)
    length, shift = 0, 0
    while True:
        byte = (await reader.readexactly(1))[0]
        length |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            break
    return head[0], await reader.readexactly(length)

async def session(client, will=None):
    reader, writer = await asyncio.open_connection("127.0.0.1", PORT)
    writer.write(connect(client, will))
    kind, body = await read_packet(reader)
    assert kind == 0x20 and body[1] == 0, "refused"
    return reader, writer

async def drain(reader):
    try:
        while True:
            await read_packet(reader)
    except (asyncio.IncompleteReadError, ConnectionError):
        pass

async def simulated(i, started):
    name = b"sim-%05d" % i
    base = PREFIX.encode() + b"/" + name
    reader, writer = await session(name, base + b"/online")
    asyncio.ensure_future(drain(reader))
    mid = 0
    def send(topic, payload, retain):
        nonlocal mid
        mid = mid % 65535 + 1
        writer.write(publish(topic, payload, retain, mid))
    def state(n):
        return json.dumps({"device_id": name.decode(), "composition": {"type": "Image", "source": "/img%d.jpg" % n,
                           "duration": 10000}, "since": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()),
                           "paused": False, "schedule": "https://signage.example.net/ws/stream.php?action=get&"
                           "device_uid=" + name.decode(), "version": "1.0", "uptime_s": n * 10,
                           "addresses": ["10.1.%d.%d" % (i // 250, i % 250 + 1)], "decoder": ""}).encode()
    send(base + b"/online", b"true", True)
    send(base + b"/state", state(0), True)
    started.append(i)
    await asyncio.sleep(random.uniform(0, opts.change))
    n = 0
    while True:
        n += 1
        send(base + b"/event", json.dumps({"cmd": "player_composition_changed", "id": "auto", "device_id":
             name.decode(), "infos": {"type": "Image", "source": "/img%d.jpg" % n, "duration": 10000}}).encode(), False)
        send(base + b"/state", state(n), True)
        await writer.drain()
        await asyncio.sleep(opts.change)

def cpu_ticks(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])

def start_players():
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:red", WORK + "/a.png"], check=True)
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:blue", WORK + "/b.png"], check=True)
    instant = {"enter": {"property": "opacity", "from": 1, "to": 1, "duration": 0},
               "exit": {"property": "opacity", "from": 1, "to": 1, "duration": 0}}
    elements = [{"type": "Image", "duration": 3600000, "transitions": instant,
                 "attributes": {"source": "file://%s/%s" % (WORK, f)}} for f in ("a.png", "b.png")]
    json.dump({"schedule": {"private": True, "sequences": [{"diffusion": {"weekdays": ["All"], "dates": {},
               "hours": {}}, "sequence": {"global_properties": {"duration": 3600000}, "elements": elements}}]}},
              open(WORK + "/doc.json", "w"))
    open(WORK + "/player.ini", "w").write("[mqtt]\nbroker=127.0.0.1:%d\nprefix=%s\n" % (PORT, PREFIX))
    players = []
    for n in (1, 2):
        # A host name of its own: without a device identifier it is the screen's name in the topics.
        players.append(subprocess.Popen(["unshare", "--uts", "sh", "-c", 'hostname "$1"; shift; exec "$@"', "-",
                                         "real-%d" % n, PLAYER, "--json=" + WORK + "/doc.json"], cwd=WORK,
                                        stdout=subprocess.DEVNULL, stderr=open(WORK + "/player-%d.log" % n, "w")))
    return players

async def main():
    conf = WORK + "/broker.conf"
    open(conf, "w").write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\nuser root\n"
                          "max_queued_messages 10000\nset_tcp_nodelay true\n" % PORT)
    broker = subprocess.Popen(["mosquitto", "-c", conf], stderr=subprocess.DEVNULL)
    await asyncio.sleep(0.5)
    players = start_players()
    started, begin = [], time.monotonic()
    for batch in range(0, opts.screens, 200):  # connect in batches: a burst of thousands is not the steady state
        await asyncio.gather(*[asyncio.wait_for(session_start(i, started), 30)
                               for i in range(batch, min(opts.screens, batch + 200))], return_exceptions=True)
    print("%d simulated screens connected in %.1f s" % (len(started), time.monotonic() - begin), flush=True)

    # The two real players' events, on a session of our own.
    reader, writer = await session(b"bench-watch")
    writer.write(subscribe([("%s/real-%d/event" % (PREFIX, n)).encode() for n in (1, 2)], 1))
    arrivals = asyncio.Queue()
    async def watch():
        while True:
            kind, body = await read_packet(reader)
            if kind >> 4 == 3:
                length = int.from_bytes(body[:2], "big")
                topic = body[2:2 + length].decode()
                payload = body[2 + length + (2 if kind & 0x06 else 0):]
                if kind & 0x06:
                    writer.write(b"\x40\x02" + body[2 + length:4 + length])  # PUBACK
                await arrivals.put((time.monotonic(), topic, json.loads(payload)))
    asyncio.ensure_future(watch())
    deadline = time.monotonic() + 60
    seen = set()
    while seen != {"real-1", "real-2"} and time.monotonic() < deadline:
        writer.write(publish(("%s/command" % PREFIX).encode(), json.dumps({"cmd": "player_pause", "id": "w",
                     "device_id": ""}).encode(), False, 2))
        try:
            while True:
                _, topic, message = await asyncio.wait_for(arrivals.get(), 1)
                if message.get("cmd") == "player_is_paused":  # on screen and paused: the first command resumes
                    seen.add(topic.split("/")[1])
        except asyncio.TimeoutError:
            pass
    if seen != {"real-1", "real-2"}:
        print("the real players did not answer within 60 s: %s" % seen)

    loop = asyncio.get_running_loop()
    begin = time.monotonic()
    listed = await loop.run_in_executor(None, lambda: subprocess.run(
        [REMOTE, "--mqtt=127.0.0.1:%d" % PORT, "--prefix", PREFIX, "fleet", "--json"], capture_output=True, text=True))
    took = time.monotonic() - begin
    screens = json.loads(listed.stdout or "[]")
    online = sum(1 for s in screens if s.get("online"))
    print("player-remote fleet: %d screens listed (%d online) in %.2f s (includes its 0.3 s quiet wait)"
          % (len(screens), online, took), flush=True)

    delays = {"real-1": [], "real-2": []}
    for n in range(opts.commands):
        while not arrivals.empty():
            arrivals.get_nowait()
        cmd, answer = ("player_resume", "player_is_resumed") if n % 2 == 0 else ("player_pause", "player_is_paused")
        sent = time.monotonic()
        writer.write(publish(("%s/command" % PREFIX).encode(), json.dumps({"cmd": cmd, "id": str(n),
                     "device_id": ""}).encode(), False, 3 + n))
        got = set()
        try:
            while got != set(delays):
                at, topic, message = await asyncio.wait_for(arrivals.get(), 2)
                screen = topic.split("/")[1]
                if message.get("cmd") == answer and screen not in got:
                    got.add(screen)
                    delays[screen].append((at - sent) * 1000)
        except asyncio.TimeoutError:
            print("command %d: no answer from %s within 2 s" % (n, set(delays) - got))
        await asyncio.sleep(0.3)
    for screen, values in delays.items():
        if values:
            print("command on %s/command to %s's status event: median %.1f ms, max %.1f ms (%d of %d)"
                  % (PREFIX, screen, statistics.median(values), max(values), len(values), opts.commands), flush=True)

    before, start = cpu_ticks(broker.pid), time.monotonic()
    await asyncio.sleep(opts.window)
    used = (cpu_ticks(broker.pid) - before) / os.sysconf("SC_CLK_TCK") / (time.monotonic() - start)
    rate = 2 * opts.screens / opts.change
    print("broker CPU: %.1f%% of a core for %d screens (%.2f%% per 1,000), %.0f messages/s in from the screens"
          % (used * 100, opts.screens + 2, used * 100 * 1000 / (opts.screens + 2), rate), flush=True)
    for player in players:
        player.kill()
    broker.terminate()

async def session_start(i, started):
    asyncio.ensure_future(simulated(i, started))
    while i not in started:
        await asyncio.sleep(0.01)

asyncio.run(main())
