#!/usr/bin/env python3
"""zq-setup ui against hostile clients on loopback: garbage, huge headers,
slow and half-open clients, oversized bodies, requests without the token or
from a foreign Host or Origin. The server keeps answering the page, and the
settings file is unchanged. Then: a page that closes ends the server after
the idle time, and Ctrl+C ends it.

usage: setup_ui_hostile.py ZQ_SETUP EXAMPLE_SETUP_INI WORKDIR"""
import hashlib, os, re, shutil, signal, socket, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import harness_kit as kit  # noqa: E402

zq_setup, example, work = sys.argv[1:4]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
setup = os.path.join(work, "Setup.ini")
shutil.copy(example, setup)
digest = hashlib.sha256(open(setup, "rb").read()).hexdigest()
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def start(*extra):
    return kit.setup_ui_start([zq_setup, "--setup", setup, "ui", "--no-browser", *extra])


raw, status, request = kit.http_raw, kit.http_status, kit.http_request


server, port, token = start()
own = "http://127.0.0.1:%d" % port
try:
    first = request(port, "GET", "/?token=" + token)
    check(status(first) == 303 and b"HttpOnly; SameSite=Strict" in first, "the first address gives the cookie")
    m = re.search(rb"Set-Cookie: (zq_setup_%d=[0-9a-f]{32});" % port, first)
    cookie = m.group(1).decode() if m else "none"
    check(status(request(port, "GET", "/?token=" + token)) == 403, "the first address works once")
    check(status(request(port, "GET", "/api/state", cookie)) == 200, "the page's request is answered")
    # A browser's kept-alive connection: two requests, two answers, then it closes.
    ask = "GET /app.css HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nCookie: %s\r\n" % (port, cookie)
    both = raw(port, (ask + "\r\n" + ask + "Connection: close\r\n\r\n").encode())
    check(both.count(b"HTTP/1.1 200 OK") == 2, "a kept-alive connection answers one request after another")

    refused = {
        "no token": request(port, "GET", "/api/state"),
        "wrong cookie": request(port, "GET", "/api/state", "zq_setup_%d=%s" % (port, "0" * 32)),
        "the token as cookie": request(port, "GET", "/api/state", "zq_setup_%d=%s" % (port, token)),
        "wrong first address": request(port, "GET", "/?token=" + "0" * 32),
        "foreign Host": request(port, "GET", "/api/state", cookie, host="evil.example:%d" % port),
        "foreign Origin": request(port, "POST", "/api/save", cookie, origin="http://evil.example",
                                  body=b'{"edits":{"Yaxis":"1 1"}}'),
        "no Origin": request(port, "POST", "/api/save", cookie, body=b'{"edits":{"Yaxis":"1 1"}}'),
    }
    for what, answer in refused.items():
        check(status(answer) == 403, "403 for " + what)
        check(b"Access-Control" not in answer, "no CORS header for " + what)

    # Slow clients hold connections open without ever finishing a request.
    slow = []
    for i in range(30):
        s = socket.create_connection(("127.0.0.1", port))
        s.sendall(b"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % port)
        slow.append(s)
    t0 = time.monotonic()
    answer = request(port, "GET", "/api/state", cookie)
    check(status(answer) == 200 and time.monotonic() - t0 < 5, "answers while 30 slow clients wait")

    hostile = [
        os.urandom(5000),
        b"\x00" * 100 + b"\r\n\r\n",
        b"GET / HTTP/1.1\r\n" + b"X-Big: " + b"a" * 200000 + b"\r\n\r\n",
        b"GET / HTTP/1.1\r\n" + b"".join(b"X-%d: y\r\n" % i for i in range(5000)) + b"\r\n",
        b"GET /" + b"a" * 100000 + b" HTTP/1.1\r\n\r\n",
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: %s\r\n"
         "Content-Length: 999999999\r\n\r\n" % (port, own, cookie)).encode() + b"{" * 70000,
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: %s\r\n"
         "Transfer-Encoding: chunked\r\n\r\n" % (port, own, cookie)).encode() + b"ffffff\r\n" + b"x" * 70000,
        b"GET / HTTP/9.9\r\nHost: \xff\xfe\r\n\r\n",
        b"\r\n" * 1000,
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: %s\r\n"
         "Content-Length: 40\r\n\r\n{\"edits\":{\"unknown\\n[x]\":\"1\"}}       " % (port, own, cookie)).encode(),
    ]
    for i, data in enumerate(hostile):
        answer = raw(port, data)
        code = status(answer)
        check(code in (None, 400, 403, 404, 413, 422, 505) and b"200 OK" not in answer[:20],
              "hostile request %d refused or dropped (%s)" % (i, code))
    for s in slow:
        s.close()
    for i in range(200):  # connections opened and dropped at once
        socket.create_connection(("127.0.0.1", port)).close()

    check(server.poll() is None, "the server is still running")
    check(status(request(port, "GET", "/api/state", cookie)) == 200, "and still answers the page")
    check(hashlib.sha256(open(setup, "rb").read()).hexdigest() == digest, "the settings file is unchanged")
    check(not os.path.exists(setup + ".bak"), "no backup was made: nothing was saved")
    server.send_signal(signal.SIGINT)
    check(server.wait(timeout=20) == 0, "Ctrl+C ends it with status 0")
finally:
    if server.poll() is None:
        server.kill()
        server.wait()

# The last page closed: the server ends after the idle time.
server, port, token = start("--idle-seconds", "1")
try:
    first = request(port, "GET", "/?token=" + token)
    m = re.search(rb"Set-Cookie: (zq_setup_%d=[0-9a-f]{32});" % port, first)
    cookie = m.group(1) if m else b"none"
    def open_live():
        s = socket.create_connection(("127.0.0.1", port), timeout=10)
        s.sendall(b"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nCookie: %s\r\n\r\n"
                  % (port, cookie))
        got = b""
        while got.count(b"data: ") < 3:
            got += s.recv(4096)
        return s, got

    older, got = open_live()
    check(b"text/event-stream" in got and b'"joysticks"' in got, "live readings arrive as events")
    # One stream per session: a second page takes it over, the first is told and closed.
    live, _ = open_live()
    rest = b""
    while True:
        chunk = older.recv(4096)
        if not chunk:
            break
        rest += chunk
    check(b"event: replaced" in rest, "a second live stream takes over from the first")
    older.close()
    live.close()
    try:
        code = server.wait(timeout=30)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "the server ends after the last page closed")
finally:
    if server.poll() is None:
        server.kill()
        server.wait()

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
