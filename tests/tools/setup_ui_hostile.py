#!/usr/bin/env python3
"""zq-setup ui against hostile clients on loopback: garbage, huge headers,
slow and half-open clients, oversized bodies, requests without the token or
from a foreign Host or Origin. The server keeps answering the page, and the
settings file is unchanged. Then: a page that closes ends the server after
the idle time, and Ctrl+C ends it.

usage: setup_ui_hostile.py ZQ_SETUP EXAMPLE_SETUP_INI WORKDIR"""
import hashlib, os, re, shutil, signal, socket, subprocess, sys, time

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
    p = subprocess.Popen([zq_setup, "--setup", setup, "ui", "--no-browser", *extra],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = p.stdout.readline()
    m = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", line)
    if not m:
        p.kill()
        sys.exit("no address in: %r %r" % (line, p.stderr.read()))
    return p, int(m.group(1)), m.group(2)


def raw(port, data, timeout=15):
    """Sends bytes, returns everything the server answers until it closes."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        s.sendall(data)
    except OSError:
        pass
    out = b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            out += chunk
    except OSError:
        pass
    s.close()
    return out


def status(answer):
    m = re.match(rb"HTTP/1\.1 (\d+)", answer)
    return int(m.group(1)) if m else None


def request(port, method, target, token=None, host=None, origin=None, body=b""):
    host = host or "127.0.0.1:%d" % port
    head = "%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n" % (method, target, host)
    if token is not None:
        head += "Cookie: zq_setup_token=%s\r\n" % token
    if origin is not None:
        head += "Origin: %s\r\n" % origin
    if body:
        head += "Content-Type: application/json\r\nContent-Length: %d\r\n" % len(body)
    return raw(port, (head + "\r\n").encode() + body)


server, port, token = start()
own = "http://127.0.0.1:%d" % port
try:
    first = request(port, "GET", "/?token=" + token)
    check(status(first) == 303 and b"HttpOnly; SameSite=Strict" in first, "the first address gives the cookie")
    check(status(request(port, "GET", "/api/state", token)) == 200, "the page's request is answered")
    # A browser's kept-alive connection: two requests, two answers, then it closes.
    ask = "GET /app.css HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nCookie: zq_setup_token=%s\r\n" % (port, token)
    both = raw(port, (ask + "\r\n" + ask + "Connection: close\r\n\r\n").encode())
    check(both.count(b"HTTP/1.1 200 OK") == 2, "a kept-alive connection answers one request after another")

    refused = {
        "no token": request(port, "GET", "/api/state"),
        "wrong token": request(port, "GET", "/api/state", "0" * 32),
        "wrong first address": request(port, "GET", "/?token=" + "0" * 32),
        "foreign Host": request(port, "GET", "/api/state", token, host="evil.example:%d" % port),
        "foreign Origin": request(port, "POST", "/api/save", token, origin="http://evil.example",
                                  body=b'{"edits":{"Yaxis":"1 1"}}'),
        "no Origin": request(port, "POST", "/api/save", token, body=b'{"edits":{"Yaxis":"1 1"}}'),
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
    answer = request(port, "GET", "/api/state", token)
    check(status(answer) == 200 and time.monotonic() - t0 < 5, "answers while 30 slow clients wait")

    hostile = [
        os.urandom(5000),
        b"\x00" * 100 + b"\r\n\r\n",
        b"GET / HTTP/1.1\r\n" + b"X-Big: " + b"a" * 200000 + b"\r\n\r\n",
        b"GET / HTTP/1.1\r\n" + b"".join(b"X-%d: y\r\n" % i for i in range(5000)) + b"\r\n",
        b"GET /" + b"a" * 100000 + b" HTTP/1.1\r\n\r\n",
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: zq_setup_token=%s\r\n"
         "Content-Length: 999999999\r\n\r\n" % (port, own, token)).encode() + b"{" * 70000,
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: zq_setup_token=%s\r\n"
         "Transfer-Encoding: chunked\r\n\r\n" % (port, own, token)).encode() + b"ffffff\r\n" + b"x" * 70000,
        b"GET / HTTP/9.9\r\nHost: \xff\xfe\r\n\r\n",
        b"\r\n" * 1000,
        ("POST /api/save HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: zq_setup_token=%s\r\n"
         "Content-Length: 40\r\n\r\n{\"edits\":{\"unknown\\n[x]\":\"1\"}}       " % (port, own, token)).encode(),
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
    check(status(request(port, "GET", "/api/state", token)) == 200, "and still answers the page")
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
    live = socket.create_connection(("127.0.0.1", port), timeout=10)
    live.sendall(b"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nCookie: zq_setup_token=%s\r\n\r\n"
                 % (port, token.encode()))
    got = b""
    while got.count(b"data: ") < 3:
        got += live.recv(4096)
    check(b"text/event-stream" in got and b'"joysticks"' in got, "live readings arrive as events")
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
