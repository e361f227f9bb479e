#!/usr/bin/env python3
"""The development signage server over real HTTP on loopback: each route, the JSON
error bodies, paths that try to leave the content directory, byte ranges, and one
log line per request."""
import http.client
import json, os, re, sys, tempfile, time  # noqa: E401

from support import check, failures, start_server

work = tempfile.mkdtemp(dir=os.environ.get("PLAYER_TEST_TMP"))
content = os.path.join(work, "content")
for path, data in (("schedules/S1.json", '{"schedule": {"schedule_uid": "S1", "page": "{{server}}/p"}}'),
                   ("schedules/S2.json", '{"schedule": {"schedule_uid": "S2", "page": "{{server}}/p"}}'),
                   ("media/clip.bin", bytes(range(100))), ("../secret.txt", "SECRET")):
    os.makedirs(os.path.dirname(os.path.join(content, path)), exist_ok=True)
    open(os.path.join(content, path), "wb" if isinstance(data, bytes) else "w").write(data)
os.symlink(os.path.join(work, "secret.txt"), os.path.join(content, "media", "link.txt"))
server, port = start_server(content)
requests = []


def get(path, headers=None, method="GET", devices=None):
    if devices is not None:
        json.dump(devices, open(os.path.join(content, "devices.json"), "w"))
    requests.append(path)
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request(method, path, headers=headers or {})
    answer = connection.getresponse()
    return answer.status, dict(answer.getheaders()), answer.read()


def error_body(body, status):
    return json.loads(body).get("status") == status and json.loads(body).get("error")


mapped, default = {"devices": {"screen-1": "S2"}}, {"devices": {}, "default": "S1"}
routes = [  # path, device map, status, schedule_uid (None: a JSON error body)
    ("?action=get&device_uid=screen-1", mapped, 200, "S2"),
    ("?action=get&device_uid=other", mapped, 404, None),
    ("?action=get&device_uid=other", default, 200, "S1"),
    ("?action=getSchedule&schedule_uid=S1&standalone=0", mapped, 200, "S1"),
    ("?action=getSchedule&schedule_uid=NOPE&standalone=0", mapped, 404, None),
    ("?action=getSchedule&schedule_uid=../secret&standalone=0", mapped, 404, None),
    ("?action=delete", mapped, 400, None),
]
for query, devices, status, uid in routes:
    code, headers, body = get("/ws/stream.php" + query, devices=devices)
    check(code == status and (json.loads(body)["schedule"] == {"schedule_uid": uid, "page": "http://127.0.0.1:%d/p" % port}
                              if uid else error_body(body, status)), "%s %s: %d %s" % (query, devices, code, body[:80]))
for path, status in (("/media/%2e%2e/%2e%2e/secret.txt", 403), ("/media/link.txt", 403), ("/media/none.png", 404)):
    code, _, body = get(path)
    check(code == status and error_body(body, status), "%s: %d %s" % (path, code, body))

ranges = [  # Range header, status, Content-Range, first and last byte wanted
    (None, 200, None, (0, 99)),
    ("bytes=10-19", 206, "bytes 10-19/100", (10, 19)),
    ("bytes=90-", 206, "bytes 90-99/100", (90, 99)),
    ("bytes=-5", 206, "bytes 95-99/100", (95, 99)),
    ("bytes=95-500", 206, "bytes 95-99/100", (95, 99)),
    ("bytes=100-", 416, "bytes */100", None),
    ("bytes=5-2", 416, "bytes */100", None),
]
for wanted, status, crange, span in ranges:
    code, headers, body = get("/media/clip.bin", {"Range": wanted} if wanted else {})
    check(code == status and headers.get("Content-Range") == crange and (
        span is None or (body == bytes(range(span[0], span[1] + 1)) and headers["Content-Length"] == str(len(body)))),
        "range %s: %d %s" % (wanted, code, headers.get("Content-Range")))
code, headers, body = get("/media/clip.bin", method="HEAD")
check(code == 200 and body == b"" and headers.get("Content-Length") == "100", "HEAD answers headers only")

time.sleep(0.5)  # the last request's line is written just after its answer
server.terminate()
log = server.communicate(timeout=10)[1].splitlines()
check(len(log) == len(requests) and all(re.match(r'^\d{4}-\d\d-\d\dT\S+[+-]\d\d:\d\d \S+ "(GET|HEAD) /\S*" \d{3} \d+$', line)
                                        for line in log), "one log line per request (%d for %d)" % (len(log), len(requests)))
sys.exit(1 if failures else 0)
