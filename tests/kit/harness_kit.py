"""The test kit of the Python harnesses: failures, waiting, and the
simulator's end of the panel's datagrams.

Harnesses find it with
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
"""

import fcntl
import os
import re
import select
import socket
import subprocess
import sys
import time

PORT = 21100  # where the panel sends, on 127.0.0.1
# Suites that listen on the panel's port from the machine's own network
# (the wine runs) take this lock while they hold it.
LOCK_PATH = "/tmp/zq-thrust-udp-%d.lock" % PORT


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, step=0.05):
    """The first true value of predicate() within `timeout` s, else its last."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def socket_inodes(pids):
    """The inodes of the sockets the processes `pids` hold."""
    inodes = set()
    for pid in pids:
        try:
            fds = os.listdir("/proc/%d/fd" % pid)
        except OSError:
            continue
        for fd in fds:
            try:
                link = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            except OSError:
                continue
            if link.startswith("socket:["):
                inodes.add(link[8:-1])
    return inodes


def udp_socket_inodes(port):
    """The inodes of the UDP sockets bound to local `port`."""
    inodes = set()
    with open("/proc/net/udp") as f:
        next(f)
        for line in f:
            fields = line.split()
            if int(fields[1].split(":")[1], 16) == port:
                inodes.add(fields[9])
    return inodes


def udp_local_addresses(inodes):
    """The local "address:port" of each UDP socket among `inodes`, IPv6 ones too."""
    found = []
    for table in ("/proc/net/udp", "/proc/net/udp6"):
        try:
            with open(table) as f:
                lines = f.readlines()[1:]
        except OSError:
            continue
        for line in lines:
            fields = line.split()
            if fields[9] not in inodes:
                continue
            address, port = fields[1].split(":")
            raw = bytes.fromhex(address)
            # the kernel writes each 32-bit word in host (little-endian) order
            words = [raw[i:i + 4][::-1] for i in range(0, len(raw), 4)]
            packed = b"".join(words)
            if len(packed) == 4:
                text = socket.inet_ntop(socket.AF_INET, packed)
            else:
                text = socket.inet_ntop(socket.AF_INET6, packed)
            found.append("%s:%d" % (text, int(port, 16)))
    return found


def from_pids(pids):
    """Datagrams whose socket one of the processes `pids()` holds."""
    return lambda port: bool(udp_socket_inodes(port) & socket_inodes(pids()))


def from_command(marker):
    """Datagrams whose socket a process holds whose command line names
    `marker` (under wine the server holds the socket too: any holder will do)."""
    marker = marker.encode()

    def ours(port):
        inodes = udp_socket_inodes(port)
        if not inodes:
            return False
        for pid in filter(str.isdigit, os.listdir("/proc")):
            if not inodes & socket_inodes([int(pid)]):
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if marker in f.read():
                        return True
            except OSError:
                continue
        return False
    return ours


class PanelPort:
    """127.0.0.1:21100 for the panel's datagrams, keeping only those that
    `is_ours(sender_port)` accepts: other suites run panels of their own.
    Another holder of the port (or of the lock) is waited for, up to
    `timeout` s; `stray(port, data)` hears of the datagrams left out."""

    def __init__(self, is_ours, timeout=120, lock=True, stray=None):
        self.is_ours, self.stray = is_ours, stray
        self.lock = open(LOCK_PATH, "w") if lock else None
        deadline = time.monotonic() + timeout
        while True:
            self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                if self.lock:
                    fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                self.sock.bind(("127.0.0.1", PORT))
                return
            except OSError:
                self.sock.close()
                if self.lock:
                    fcntl.flock(self.lock, fcntl.LOCK_UN)
                check(time.monotonic() < deadline,
                      "127.0.0.1:%d stayed busy for %d s" % (PORT, timeout))
                time.sleep(0.2)

    def close(self):
        self.sock.close()
        if self.lock:
            fcntl.flock(self.lock, fcntl.LOCK_UN)
            self.lock.close()

    def _take(self):
        data, (_, port) = self.sock.recvfrom(4096)
        if self.is_ours(port):
            return data
        if self.stray:
            self.stray(port, data)
        return None

    def next(self, timeout):
        """The next datagram of ours, or None after `timeout` s."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.sock], [], [], left)
            if ready:
                data = self._take()
                if data is not None:
                    return data

    def receive(self, timeout):
        """Every datagram of ours that arrives within `timeout` s."""
        got = []
        deadline = time.monotonic() + timeout
        while True:
            data = self.next(deadline - time.monotonic())
            if data is None:
                return got
            got.append(data)


class TickTrace:
    """The Linux panel's tick trace (ZQ_TICK_TRACE=1, on its standard error):
    "tick START PLACE" for each tick run (START in microseconds of the
    monotonic clock, PLACE its place on the 50 ms grid) and "sent ok|failed"
    after a tick that sent. Harnesses place their input by it: wait for a
    tick, then act, never a guess of how long the machine takes."""

    LINE = re.compile(r"^(tick -?\d+ \d+|sent (ok|failed))$")

    def __init__(self, path):
        self.path = path
        self._file = None
        self._rest = ""
        self._lines = []

    def lines(self):
        """The trace's lines so far, split into words (read as they come)."""
        if self._file is None:
            try:
                self._file = open(self.path, "rb")
            except FileNotFoundError:
                return self._lines
        chunk = self._file.read().decode("utf-8", "replace")
        if chunk:
            parts = (self._rest + chunk).split("\n")
            self._rest = parts.pop()
            self._lines.extend(line.split() for line in parts if self.LINE.match(line))
        return self._lines

    def ticks(self):
        """(start in s of the monotonic clock, place) of each tick run."""
        return [(int(l[1]) / 1e6, int(l[2])) for l in self.lines() if l[0] == "tick"]

    def grid(self, place):
        """Monotonic time (s) of grid place `place`, from the last tick run:
        the grid stands still while ticks are left out."""
        start, last = self.ticks()[-1]
        return start + (place - last) * 0.05

    def sends(self):
        """(place, "ok"|"failed") for each tick that sent."""
        place, out = None, []
        for l in self.lines():
            if l[0] == "tick":
                place = int(l[2])
            else:
                out.append((place, l[1]))
        return out

    def wait_ticks(self, count=1, after=None, timeout=10):
        """Waits for `count` ticks that started after monotonic time `after`
        (now when None); false when they did not come within `timeout` s."""
        after = time.monotonic() if after is None else after
        return wait_for(lambda: sum(1 for start, _ in self.ticks() if start > after) >= count,
                        timeout, step=0.005)


def start_xvfb(screen="1920x1080x24", extra=()):
    """An Xvfb on a display number it finds free itself: (process, ":N").
    The caller ends the process."""
    r, w = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"] + list(extra),
        pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    deadline = time.monotonic() + 15
    try:
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([r], [], [], max(0, deadline - time.monotonic()))
            check(ready, "Xvfb did not start")
            chunk = os.read(r, 16)
            check(chunk, "Xvfb ended at start")
            number += chunk
    except Failure:
        xvfb.kill()
        xvfb.wait()
        raise
    finally:
        os.close(r)
    return xvfb, ":" + number.decode().strip()


# Harnesses that go on after a failed expectation collect them here and end
# with finish(): every failure printed, status 1.
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def finish():
    if failures:
        print(*failures, sep="\n")
        sys.exit(1)


# ---- zq-setup ui from the outside: the player, a stranger, their own network ----

def setup_ui_start(argv, env=None, preexec_fn=None, timeout=20):
    """Starts `argv` (zq-setup ... ui ...) and reads the address it prints:
    (process, port, token). The caller ends the process."""
    import re
    p = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8",
                         errors="replace",
                         env=env, preexec_fn=preexec_fn)
    ready, _, _ = select.select([p.stdout], [], [], timeout)
    line = p.stdout.readline() if ready else ""
    m = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", line)
    if not m:
        p.kill()
        raise Failure("zq-setup printed no address: %r %r" % (line, p.stderr.read()))
    return p, int(m.group(1)), m.group(2)


def http_raw(port, data, timeout=15):
    """Sends bytes to 127.0.0.1:port; everything answered until it closes."""
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


def http_status(answer):
    import re
    m = re.match(rb"HTTP/1\.1 (\d+)", answer)
    return int(m.group(1)) if m else None


def http_request(port, method, target, cookie=None, host=None, origin=None, body=b"",
                 headers=(), content_type="application/json"):
    """One request as a browser's page sends it; `cookie` is "name=value"."""
    host = host or "127.0.0.1:%d" % port
    head = "%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n" % (method, target, host)
    if cookie is not None:
        head += "Cookie: %s\r\n" % cookie
    if origin is not None:
        head += "Origin: %s\r\n" % origin
    for h in headers:
        head += h + "\r\n"
    if body or method == "POST":
        head += "Content-Type: %s\r\nContent-Length: %d\r\n" % (content_type, len(body))
    return http_raw(port, (head + "\r\n").encode() + body)


def http_body(answer):
    return answer.split(b"\r\n\r\n", 1)[1] if b"\r\n\r\n" in answer else b""


def setup_ui_exchange(port, token):
    """Trades the token for the session cookie as the token page does:
    "name=value", or None when refused."""
    import re
    answer = http_request(port, "POST", "/session", origin="null",
                          body=("token=" + token).encode(), headers=["Sec-Fetch-Site: cross-site"],
                          content_type="application/x-www-form-urlencoded")
    m = re.search(rb"Set-Cookie: (zq_setup_\d+=[0-9a-f]+);", answer)
    return m.group(1).decode() if http_status(answer) == 200 and m else None


def as_user(argv, user="nobody", group="nogroup"):
    """`argv` run as another user (root runs it): setpriv with no other groups."""
    return ["setpriv", "--reuid=%s" % user, "--regid=%s" % group, "--clear-groups", "--"] + list(argv)


def enter_own_netns():
    """Moves this process (and all it starts from now on) into a network
    namespace of its own with only `lo`, up: its servers and clients reach
    nothing else and nothing else reaches them. Root only; False when the
    system refuses."""
    import ctypes
    CLONE_NEWNET = 0x40000000
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNET) != 0:
        return False
    return subprocess.run(["ip", "link", "set", "lo", "up"]).returncode == 0
