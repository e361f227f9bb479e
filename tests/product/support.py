"""Shared by the product tests: checks that print and count, bounded waits, the
development signage server on a free loopback port, datagram collection."""
import os, re, socket, subprocess, sys, threading, time  # noqa: E401

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
    """Binds a datagram socket and gathers (arrival time, text) of what reaches it."""
    sock, into = socket.socket(family, socket.SOCK_DGRAM), []
    sock.bind(address)
    threading.Thread(target=lambda: [into.append((time.monotonic(), sock.recv(65536).decode())) for _ in iter(int, 1)],
                     daemon=True).start()
    return into
