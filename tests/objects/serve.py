#!/usr/bin/env python3
"""Subtitle server for the media-object tests, on loopback: every path answers
with a small SubRip file, paths starting with /big with 2 MiB of it."""
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SRT = b"1\n00:00:00,000 --> 00:00:30,000\nloaded\n\n"


class Handler(BaseHTTPRequestHandler):
    def do_GET(self):
        body = SRT * (2 * 1024 * 1024 // len(SRT) + 1) if self.path.startswith("/big") else SRT
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the player aborts over-size downloads

    def log_message(self, *args):
        pass


ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
