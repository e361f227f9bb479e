"""Shared by the end-to-end tests: checks that print and count, bounded waits, the development signage server
on a free loopback port, a loopback HTTP server with a request log, datagram collection, commands and pixel reads."""
import functools, http.server, json, os, re, socket, subprocess, sys, threading, time  # noqa: E401

failures = []

def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition

def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end and not predicate():
        time.sleep(0.05)
    return predicate()

def start_server(content):
    server = subprocess.Popen([sys.executable, os.path.join(os.environ["PLAYER_SOURCE_DIR"], "tools", "signage-server.py"),
                               "--content", content, "--port", "0"], stderr=subprocess.PIPE, text=True)
    return server, int(re.search(r":(\d+)$", server.stderr.readline().strip()).group(1))

def datagrams(family, address):
    """Binds a datagram socket and gathers (arrival time, text) of what reaches it, in a thread of its own."""
    sock = socket.socket(family, socket.SOCK_DGRAM)
    sock.bind(address)
    received = []
    def receive_forever():
        while True:
            text = sock.recv(65536).decode()  # before the clock is read: the time is the arrival's
            received.append((time.monotonic(), text))
    threading.Thread(target=receive_forever, daemon=True).start()
    return received

def require_isolation(name):
    """The player broadcasts and the tests send datagrams: both only in the private namespace, on its own Xvfb."""
    if not os.environ.get("PLAYER_ISOLATED_NET") or not os.environ.get("DISPLAY"):
        sys.exit(name + ": run me through tests/isolate.sh --net --x")

def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]

def solid_png(path, colour):
    subprocess.run(["/usr/bin/convert", "-size", "64x64", "xc:" + colour, "png:" + path], check=True)

def element(kind, source, **fields):
    return dict({"type": kind, "attributes": {"source": source}}, **fields)

def schedule(elements, duration):
    """A network schedule of one sequence of `duration` ms elements, played every day at every hour."""
    every_day = {"weekdays": ["All"], "dates": {}, "hours": {}}
    sequence = {"global_properties": {"duration": duration}, "elements": elements}
    return json.dumps({"schedule": {"private": True, "sequences": [{"diffusion": every_day, "sequence": sequence}]}})

class _Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requests.append(self.path)
        if self.path not in self.server.answers:
            return super().do_GET()
        status, body, delay = self.server.answers[self.path]
        time.sleep(delay)
        try:
            self.send_response(status)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except OSError:  # the player gave up waiting
            pass

def serve(folder, port=0):
    """An HTTP server on 127.0.0.1, in threads of its own: the files in `folder`, unless `server.answers` maps the
    path (query included) to (status, body bytes, delay in s). `server.requests` lists the paths asked for."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(_Handler, directory=folder))
    server.daemon_threads = True
    server.answers, server.requests = {}, []
    server.url = "http://127.0.0.1:%d/" % server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server

def compositions(received, since=0):
    """(arrival, source) of each composition announced after `since` by the player's status datagrams, as gathered
    by datagrams(): the player sends one as each composition comes on screen."""
    return [(arrival, json.loads(text).get("infos", {}).get("source")) for arrival, text in list(received)
            if arrival > since]

def status_sources(received, since=0):
    return [source for arrival, source in compositions(received, since)]

def send_command(device, sender="10.99.0.1", **fields):
    """A command datagram to the player's port from the address `sender`: play, unless `fields` name another."""
    message = dict({"cmd": "player_play", "id": "t", "device_id": device}, **fields)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind((sender, 0))
        sock.sendto(json.dumps(message).encode(), ("10.99.0.1", 8000))

def screen_pixel(x, y):
    """The colour of one pixel of the screen as ImageMagick names it, e.g. "srgb(255,0,0)"."""
    grab = "/usr/bin/import -window root png:- | /usr/bin/convert - -format '%%[pixel:p{%d,%d}]' info:" % (x, y)
    return subprocess.run(grab, shell=True, capture_output=True, text=True).stdout

def screen_colours():
    """ImageMagick's histogram of the screen: a line per colour, with its hex code ("#FF0000")."""
    grab = "/usr/bin/import -window root png:- | /usr/bin/convert - -format %c histogram:info:-"
    return subprocess.run(grab, shell=True, capture_output=True, text=True).stdout

def start_player(args, folder, env=None):
    """The player, verbose, working in `folder` (where its player.ini is), its output in folder/log."""
    log = open(os.path.join(folder, "log"), "w")
    return subprocess.Popen([os.environ["PLAYER_EXE"], "-v"] + args, cwd=folder, stdout=log, stderr=subprocess.STDOUT,
                            env=env)

def stop(process):
    process.kill()
    process.wait()
