#!/usr/bin/env python3
"""zq-listen on a port of its own: decoding, flagging, hostile datagrams,
stopping by signal, count and timeout, a port already in use, bad usage.

usage: listen_datagrams.py ZQ_LISTEN
"""
import os
import random
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from listen_common import Listener, strip_time  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import expect, finish  # noqa: E402


def send_all(port, datagrams):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for d in datagrams:
        s.sendto(d, ("127.0.0.1", port))
        time.sleep(0.01)  # keep them in order on a busy machine
    s.close()


def decoding(zq_listen):
    rng = random.Random(7)
    # (datagram, the decoded line without its time, whether it is flagged)
    cases = [
        (b"R/81\\0.09/87\\-0.37/89\\0.05/83\\-0.60",
         "R/81\\0.09/87\\-0.37/89\\0.05/83\\-0.60  throttle 60 (0.09), pitch -0.37, yaw 0.05, "
         "flaps combat (-0.60)", False),
        (b"R/85\\0.05/89\\-0.02/97\\0.2/95\\0/99\\0",
         "R/85\\0.05/89\\-0.02/97\\0.2/95\\0/99\\0  roll 0.05, yaw -0.02, pitch trim 0.2, "
         "roll trim 0 (routed into axis, or at 0), yaw trim 0 (routed into axis, or at 0)", False),
        (b"R/87\\0.50", "R/87\\0.50  pitch 0.50", True),
        (b"R", "R", True),
        (b"", "", True),
        (b"R/87\\1\x00\x1b[2J", "R/87\\1\\x00\\x1B[2J  pitch ? (1\\x00\\x1B[2J)", True),
        (bytes(rng.randrange(256) for _ in range(2000)), None, True),
        (b"R" + b"/87\\1" * 13000, None, True),  # 65001 bytes
    ]
    listener = Listener(zq_listen, ["--port", "0", "--count", str(len(cases)), "--timeout", "20"])
    send_all(listener.port, [c[0] for c in cases])
    status, lines, err = listener.finish()
    expect(status == 0, f"decoding: status {status}: {err}")
    # group each datagram line with the problem lines under it
    groups = []
    for line in lines:
        if line.startswith("  ! "):
            groups[-1][1].append(line)
        else:
            groups.append((strip_time(line), []))
    expect(len(groups) == len(cases), f"decoding: {len(groups)} datagrams printed, not {len(cases)}")
    for (datagram, want, flagged), (got, problems) in zip(cases, groups):
        if want is not None:
            expect(got == want, f"decoding {datagram[:40]!r}: printed {got!r}")
        expect(bool(problems) == flagged, f"decoding {datagram[:40]!r}: problems {problems}")
        expect(all(32 <= ord(c) < 127 for c in got), f"decoding {datagram[:40]!r}: raw bytes printed")
    flagged = sum(1 for c in cases if c[2])
    expect(f"{len(cases)} datagrams, {flagged} not following the message grammar" in err,
           f"decoding: summary {err!r}")


def stopping(zq_listen):
    for sig in (signal.SIGINT, signal.SIGTERM):
        listener = Listener(zq_listen, ["--port", "0"])
        send_all(listener.port, [b"R/87\\1"])
        time.sleep(0.2)
        started = time.monotonic()
        listener.proc.send_signal(sig)
        status, lines, err = listener.finish(timeout=10)
        expect(status == 0, f"{sig.name}: status {status}")
        expect(time.monotonic() - started < 2, f"{sig.name}: slow to stop")
        expect(len(lines) == 1 and "pitch 1" in lines[0], f"{sig.name}: printed {lines}")
        expect("1 datagram, 0 not following" in err, f"{sig.name}: summary {err!r}")

    listener = Listener(zq_listen, ["--port", "0", "--count", "5", "--timeout", "1"])
    status, lines, err = listener.finish()
    expect(status == 3, f"timeout before count: status {status}")
    expect("--timeout ran out" in err, f"timeout before count: {err!r}")
    listener = Listener(zq_listen, ["--port", "0", "--timeout", "1"])
    status, lines, err = listener.finish()
    expect(status == 0 and not lines, f"timeout alone: status {status}, {lines}")


def port_in_use(zq_listen):
    holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    holder.bind(("127.0.0.1", 0))
    port = holder.getsockname()[1]
    r = subprocess.run([zq_listen, "--port", str(port), "--timeout", "2"], capture_output=True,
                       timeout=10)
    holder.close()
    err = r.stderr.decode()
    expect(r.returncode == 1, f"port in use: status {r.returncode}")
    expect(f"cannot listen on 127.0.0.1:{port}: the port is in use" in err and
           "simulator" in err, f"port in use: {err!r}")


def usage(zq_listen):
    for args, status, says in ((["--help"], 0, "usage: zq-listen"),
                               (["--version"], 0, "zq-listen "),
                               (["--port", "65536"], 2, "--port needs"),
                               (["--port", "x"], 2, "--port needs"),
                               (["--count", "0"], 2, "--count needs 1 or more"),
                               (["--timeout"], 2, "--timeout needs"),
                               (["extra"], 2, "unexpected argument")):
        r = subprocess.run([zq_listen] + args, capture_output=True, timeout=10)
        expect(r.returncode == status, f"{args}: status {r.returncode}")
        expect(says in (r.stdout + r.stderr).decode(), f"{args}: does not say {says!r}")


def main():
    zq_listen = sys.argv[1]
    for test in (decoding, stopping, port_in_use, usage):
        test(zq_listen)
    finish()


if __name__ == "__main__":
    main()
