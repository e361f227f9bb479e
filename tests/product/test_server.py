#!/usr/bin/env python3
"""The development signage server over real HTTP on loopback: each route, the JSON
error bodies, paths that try to leave the content directory, byte ranges, and one
log line per request."""

import http.client
import json
import os
import re
import subprocess
import sys
import tempfile

SERVER = os.path.join(os.environ["PLAYER_SOURCE_DIR"], "tools", "signage-server.py")
work = tempfile.mkdtemp(dir=os.environ.get("PLAYER_TEST_TMP"))
content = os.path.join(work, "content")
os.makedirs(os.path.join(content, "schedules"))
os.makedirs(os.path.join(content, "media"))
with open(os.path.join(work, "secret.txt"), "w") as out:
    out.write("SECRET")
os.symlink(os.path.join(work, "secret.txt"), os.path.join(content, "media", "link.txt"))
with open(os.path.join(content, "media", "clip.bin"), "wb") as out:
    out.write(bytes(range(100)))
for uid in ("S1", "S2"):
    with open(os.path.join(content, "schedules", uid + ".json"), "w") as out:
        json.dump({"schedule": {"schedule_uid": uid, "page": "{{server}}/p.html"}}, out)


def devices(mapping):
    with open(os.path.join(content, "devices.json"), "w") as out:
        json.dump(mapping, out)


server = subprocess.Popen([sys.executable, SERVER, "--content", content, "--port", "0"], stderr=subprocess.PIPE, text=True)
port = int(re.search(r":(\d+)$", server.stderr.readline().strip()).group(1))
failures, requests = [], 0


def get(path, headers=None, method="GET"):
    global requests
    requests += 1
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request(method, path, headers=headers or {})
    answer = connection.getresponse()
    body = answer.read()
    connection.close()
    return answer.status, dict(answer.getheaders()), body


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def error_body(body, status):
    try:
        document = json.loads(body)
        return document.get("status") == status and isinstance(document.get("error"), str)
    except ValueError:
        return False


devices({"devices": {"screen-1": "S2", "ghost": "NOPE"}})
rows = [  # path, expected status, expected schedule_uid or None for an error body
    ("/ws/stream.php?action=get&device_uid=screen-1", 200, "S2"),
    ("/ws/stream.php?action=get&device_uid=screen-1&startDate=2026-01-01&endDate=2026-01-31", 200, "S2"),
    ("/ws/stream.php?action=get&device_uid=other", 404, None),
    ("/ws/stream.php?action=get&device_uid=ghost", 404, None),
    ("/ws/stream.php?action=getSchedule&schedule_uid=S1&standalone=0", 200, "S1"),
    ("/ws/stream.php?action=getSchedule&schedule_uid=NOPE&standalone=0", 404, None),
    ("/ws/stream.php?action=getSchedule&schedule_uid=../secret&standalone=0", 404, None),
    ("/ws/stream.php?action=delete", 400, None),
]
for path, status, uid in rows:
    code, headers, body = get(path)
    if uid:
        document = json.loads(body)
        check(code == status and document["schedule"]["schedule_uid"] == uid
              and document["schedule"]["page"] == "http://127.0.0.1:%d/p.html" % port, "%s gives %s" % (path, uid))
    else:
        check(code == status and error_body(body, status), "%s gives %d with a JSON error: %s" % (path, status, body))
devices({"devices": {}, "default": "S1"})
code, _, body = get("/ws/stream.php?action=get&device_uid=other")
check(code == 200 and json.loads(body)["schedule"]["schedule_uid"] == "S1", "an unknown device gets the default")

for path in ("/../secret.txt", "/media/%2e%2e/%2e%2e/secret.txt", "/media/link.txt", "/media/..%2f..%2fsecret.txt"):
    code, _, body = get(path)
    check(code == 403 and b"SECRET" not in body and error_body(body, 403), "%s is refused: %d" % (path, code))
code, _, body = get("/media/none.png")
check(code == 404 and error_body(body, 404), "a missing file is a 404 with a JSON error")

ranges = [  # Range header, status, Content-Range, body
    (None, 200, None, bytes(range(100))),
    ("bytes=10-19", 206, "bytes 10-19/100", bytes(range(10, 20))),
    ("bytes=90-", 206, "bytes 90-99/100", bytes(range(90, 100))),
    ("bytes=-5", 206, "bytes 95-99/100", bytes(range(95, 100))),
    ("bytes=95-500", 206, "bytes 95-99/100", bytes(range(95, 100))),
    ("bytes=100-", 416, "bytes */100", None),
    ("bytes=5-2", 416, "bytes */100", None),
]
for wanted, status, crange, data in ranges:
    code, headers, body = get("/media/clip.bin", {"Range": wanted} if wanted else {})
    check(code == status and headers.get("Content-Range") == crange and (data is None or body == data)
          and (data is None or headers.get("Content-Length") == str(len(data))), "range %s: %d %s" % (wanted, code, crange))
code, headers, body = get("/media/clip.bin", method="HEAD")
check(code == 200 and body == b"" and headers.get("Content-Length") == "100", "HEAD answers headers only")

server.terminate()
log = server.communicate(timeout=10)[1].splitlines()
check(len(log) == requests and all(re.match(r'^\d{4}-\d\d-\d\dT\S+[+-]\d\d:\d\d \S+ "(GET|HEAD) /\S*" \d{3} \d+$', line)
                                   for line in log), "one log line per request (%d for %d)" % (len(log), requests))
sys.exit(1 if failures else 0)
