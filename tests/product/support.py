"""Shared by the product tests: checks that print and count, bounded waits, the
development signage server on a free loopback port, datagram collection."""
import os
import re
import subprocess
import sys
import threading
import time

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


def collect(sock, into):
    def run():
        while True:
            into.append((time.monotonic(), sock.recv(65536).decode()))
    threading.Thread(target=run, daemon=True).start()
