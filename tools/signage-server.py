#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Development signage server: what a player asks a signage server for, from a folder.

    signage-server.py --content DIR [--bind 127.0.0.1] [--port 8080] [--check [PLAYER]]

DIR holds the files that "/"-relative sources name (images, videos, pages) and:
  schedules/<schedule_uid>.json   one schedule document per identifier
  devices.json                    {"devices": {"<device_uid>": "<schedule_uid>", ...},
                                   "default": "<schedule_uid>"}   (optional)

Routes (GET and HEAD):
  /ws/stream.php?action=get&device_uid=ID                  the device's schedule, or the default
  /ws/stream.php?action=getSchedule&schedule_uid=ID&...    that schedule
  /anything/else                                           the file under DIR, with byte ranges

A schedule may write {{server}} where it needs the server's own address
(http://host:port, as the player reached it), e.g. for a WebView's absolute URL.
Errors are JSON: {"error": "...", "status": N}. One log line per request on stderr.
With --check, every schedule served goes through `player --check` once per version
of its text (in the background, after the answer), and its problems are logged.
Only the Python 3 standard library is used.
"""

import argparse
import datetime
import json
import mimetypes
import os
import posixpath
import re
import shutil
import socket
import subprocess
import sys
import threading
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, quote, unquote, urlsplit

RANGE = re.compile(r"^bytes=(\d*)-(\d*)$")


class SignageHandler(BaseHTTPRequestHandler):
    server_version = "signage-server/1.0"
    protocol_version = "HTTP/1.1"
    content_dir = "."
    checker = None  # the player binary that checks what is served, or None
    checked = {}  # schedule identifier -> the text last checked
    checked_lock = threading.Lock()
    _status = 0
    _length = 0

    # ---- requests ------------------------------------------------------

    def do_GET(self):
        self.answer(body=True)

    def do_HEAD(self):
        self.answer(body=False)

    def answer(self, body):
        self._status, self._length = 0, 0
        try:
            url = urlsplit(self.path)
            if url.path == "/ws/stream.php":
                self.schedule_route(parse_qs(url.query), body)
            else:
                self.file_route(unquote(url.path), body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the player went away mid-answer (a video stopped)
        self.log_line()

    def schedule_route(self, query, body):
        action = query.get("action", [""])[0]
        if action == "get":
            device = query.get("device_uid", [""])[0]
            devices = self.devices()
            uid = devices.get("devices", {}).get(device, devices.get("default"))
            if uid is None:
                return self.error(HTTPStatus.NOT_FOUND, "unknown device %r and no default schedule" % device, body)
        elif action == "getSchedule":
            uid = query.get("schedule_uid", [""])[0]
        else:
            return self.error(HTTPStatus.BAD_REQUEST, "unknown action %r" % action, body)
        document = self.schedule(str(uid))
        if document is None:
            return self.error(HTTPStatus.NOT_FOUND, "unknown schedule %r" % uid, body)
        data = document.replace("{{server}}", "http://" + self.headers.get("Host", "%s:%d" % self.server.server_address))
        self.send(HTTPStatus.OK, data.encode("utf-8"), "application/json; charset=utf-8", body)
        if self.checker:
            host = self.headers.get("Host", "%s:%d" % self.server.server_address[:2])
            threading.Thread(target=self.check, args=(str(uid), data, host), daemon=True).start()

    def check(self, uid, data, host):
        """Logs what `player --check` finds in a served schedule, once per version of it.
        The player fetches it from here, as a screen would, so that the rules of a
        schedule from the server apply."""
        with self.checked_lock:
            if self.checked.get(uid) == data:
                return
            self.checked[uid] = data
        address = "http://%s/ws/stream.php?action=getSchedule&schedule_uid=%s" % (host, quote(uid))
        try:
            result = subprocess.run([self.checker, "--check", address], capture_output=True, text=True, timeout=120)
        except (OSError, subprocess.TimeoutExpired) as error:
            return self.log_error("check %s: cannot run %s: %s", uid, self.checker, error)
        lines = (result.stdout + result.stderr).splitlines()
        for line in lines:
            self.log_error("check %s: %s", uid, line)
        if not lines:
            self.log_error("check %s: no problem", uid)

    def file_route(self, path, body):
        target = self.resolve(path)
        if target is None:
            return self.error(HTTPStatus.FORBIDDEN, "outside the content directory", body)
        if os.path.isdir(target):
            target = os.path.join(target, "index.html")
        if not os.path.isfile(target):
            return self.error(HTTPStatus.NOT_FOUND, "no such file %r" % path, body)
        size = os.path.getsize(target)
        start, end = 0, size - 1
        status = HTTPStatus.OK
        wanted = self.headers.get("Range")
        if wanted:
            match = RANGE.match(wanted.strip())
            if not match or match.groups() == ("", ""):
                return self.error(HTTPStatus.REQUESTED_RANGE_NOT_SATISFIABLE, "bad range %r" % wanted, body, size)
            first, last = match.groups()
            if first == "":  # the last N bytes
                start = max(0, size - int(last))
            else:
                start = int(first)
                if last != "":
                    end = min(end, int(last))
            if start >= size or start > end:
                return self.error(HTTPStatus.REQUESTED_RANGE_NOT_SATISFIABLE, "range %r beyond %d bytes" % (wanted, size),
                                  body, size)
            status = HTTPStatus.PARTIAL_CONTENT
        ctype = mimetypes.guess_type(target)[0] or "application/octet-stream"
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Accept-Ranges", "bytes")
        if status == HTTPStatus.PARTIAL_CONTENT:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        self._status, self._length = status, end - start + 1
        if body:
            with open(target, "rb") as source:
                source.seek(start)
                remaining = end - start + 1
                while remaining > 0:
                    chunk = source.read(min(65536, remaining))
                    if not chunk:
                        break
                    self.wfile.write(chunk)
                    remaining -= len(chunk)

    # ---- content -------------------------------------------------------

    def resolve(self, path):
        """The real path under the content directory, or None for anything that
        leaves it (.., absolute parts, symbolic links pointing out)."""
        root = os.path.realpath(self.content_dir)
        if "\0" in path or ".." in path.replace("\\", "/").split("/"):
            return None
        relative = posixpath.normpath("/" + path).lstrip("/")
        target = os.path.realpath(os.path.join(root, relative))
        if os.path.commonpath([root, target]) != root:
            return None
        return target

    def devices(self):
        try:
            with open(os.path.join(self.content_dir, "devices.json"), encoding="utf-8") as source:
                mapping = json.load(source)
            return mapping if isinstance(mapping, dict) else {}
        except (OSError, ValueError) as error:
            self.log_error("devices.json: %s", error)
            return {}

    def schedule(self, uid):
        if not uid or uid != os.path.basename(uid) or uid.startswith("."):
            return None
        try:
            with open(os.path.join(self.content_dir, "schedules", uid + ".json"), encoding="utf-8") as source:
                return source.read()
        except OSError:
            return None

    # ---- answers and log -----------------------------------------------

    def send(self, status, data, ctype, body):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        self._status, self._length = status, len(data)
        if body:
            self.wfile.write(data)

    def error(self, status, message, body, size=None):
        data = json.dumps({"error": message, "status": int(status)}).encode("utf-8")
        if size is not None:
            self.send_response(status)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self._status, self._length = status, len(data)
            if body:
                self.wfile.write(data)
            return
        self.send(status, data, "application/json", body)

    def log_line(self):
        stamp = datetime.datetime.now().astimezone().isoformat(timespec="milliseconds")
        sys.stderr.write('%s %s "%s %s" %d %d\n' % (stamp, self.client_address[0], self.command, self.path,
                                                  int(self._status), self._length))
        sys.stderr.flush()

    def log_request(self, code="-", size="-"):
        pass  # log_line() writes the one line per request

    def log_error(self, fmt, *args):
        sys.stderr.write("signage-server: " + (fmt % args) + "\n")


def notify_ready():
    """Under systemd (Type=notify), say that the port is open, so that a player
    ordered after this service finds it listening at its first request."""
    path = os.environ.get("NOTIFY_SOCKET", "")
    if not path:
        return
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as sock:
        sock.sendto(b"READY=1", "\0" + path[1:] if path.startswith("@") else path)


def main(argv=None):
    default_content = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "share", "player", "demo")
    parser = argparse.ArgumentParser(description="Development signage server for the player.")
    parser.add_argument("--content", default=default_content, help="content directory (default: the installed demo)")
    parser.add_argument("--bind", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=8080, help="port to listen on (default 8080; 0 picks one)")
    parser.add_argument("--check", nargs="?", const="", metavar="PLAYER",
                        help="check every schedule served with PLAYER --check and log its problems "
                             "(default: the player on PATH, else the source tree's build)")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.content):
        parser.error("no content directory at %s" % args.content)
    checker = args.check
    if checker == "":
        built = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "sources", "player")
        checker = shutil.which("player") or (built if os.access(built, os.X_OK) else None)
        if checker is None:
            parser.error("--check: no player on PATH nor in build/sources; name it: --check PATH")

    handler = type("Handler", (SignageHandler,), {"content_dir": os.path.realpath(args.content), "checker": checker,
                                                  "checked": {}})
    try:
        server = ThreadingHTTPServer((args.bind, args.port), handler)
    except OSError as error:
        sys.exit("signage-server: cannot listen on %s:%d: %s" % (args.bind, args.port, error.strerror))
    server.daemon_threads = True
    host, port = server.server_address[:2]
    print("signage-server: serving %s on http://%s:%d" % (handler.content_dir, host, port), file=sys.stderr, flush=True)
    notify_ready()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
