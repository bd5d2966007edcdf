#!/usr/bin/env python3
"""The Windows zip as a player uses it, under wine: the programs run from
the folder the zip unpacked into, inside a fresh wine prefix.

  zip_under_wine.py --wine WINE64 --folder DIR --version 0.1.0 --logs DIR

- zq-check.exe, zq-listen.exe, zq-probe.exe and zq-setup.exe print the version;
- zq-check.exe finds the example examples\\Setup.ini clean (status 0), and
  zq-setup.exe reads a value from it;
- zq-listen.exe, on a port of the system's choice, prints a datagram sent to
  it by name and ends with status 0 after --count 1, and ends with status 0
  and its summary on Ctrl+C;
- zq-thrust.exe started in the folder, which holds no Setup.ini, sends
  R/87\\-1 to 127.0.0.1:21100 at its first tick, and ends with 0 when its
  window is closed.

Needs DISPLAY and WINEPREFIX (scripts/test.d/40-packages.sh sets both).
"""
import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import Failure, PanelPort, check, from_command  # noqa: E402

def start(wine, folder, args, log):
    """A program of the folder, its output going to files named `log`: wine's
    own helper processes inherit a pipe and would hold it open."""
    out, err = open(log + ".out", "wb"), open(log + ".err", "wb")
    with out, err:
        return subprocess.Popen([wine, os.path.join(folder, args[0])] + list(args[1:]),
                                cwd=folder, stdout=out, stderr=err)


def output(log, stream):
    with open(log + "." + stream, "rb") as f:
        # Console programs under wine end their lines with CR LF.
        return f.read().decode("utf-8", "replace").replace("\r\n", "\n")


def run(args, *program, timeout=60):
    log = os.path.join(args.logs, program[0])
    code = start(args.wine, args.folder, program, log).wait(timeout=timeout)
    return code, output(log, "out"), output(log, "err")


def versions(args):
    for tool in ("zq-check", "zq-listen", "zq-probe", "zq-setup"):
        code, out, err = run(args, tool + ".exe", "--version")
        check(code == 0 and out == "%s %s\n" % (tool, args.version),
              "%s.exe --version: status %d, printed %r %r" % (tool, code, out, err))
        print("%s.exe --version: %s" % (tool, out.strip()))


def check_example(args):
    code, out, err = run(args, "zq-check.exe", "--quiet", "examples\\Setup.ini")
    check(code == 0, "zq-check.exe --quiet examples\\Setup.ini: status %d\n%s%s" % (code, out, err))
    print("zq-check.exe --quiet examples\\Setup.ini: status 0, %s" % out.strip().splitlines()[-1])
    code, out, err = run(args, "zq-setup.exe", "--setup", "examples\\Setup.ini", "get", "Yaxis")
    check(code == 0 and out.strip() == "0 1", "zq-setup.exe get Yaxis: status %d, printed %r %r"
          % (code, out, err))
    print("zq-setup.exe --setup examples\\Setup.ini get Yaxis: %s" % out.strip())


def listening_port(listener, log):
    deadline = time.time() + 60
    while time.time() < deadline and listener.poll() is None:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", output(log, "err"))
        if found:
            return int(found.group(1))
        time.sleep(0.2)
    raise Failure("zq-listen.exe did not say where it listens: %r" % output(log, "err"))


def stop(process):
    if process.poll() is None:
        process.kill()
        process.wait()


def listen_once(args):
    log = os.path.join(args.logs, "zq-listen-once")
    listener = start(args.wine, args.folder,
                     ["zq-listen.exe", "--port", "0", "--count", "1", "--timeout", "60"], log)
    try:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(b"R/81\\0.09/83\\-0.60", ("127.0.0.1", listening_port(listener, log)))
        code = listener.wait(timeout=60)
    finally:
        stop(listener)
    out = output(log, "out")
    check(code == 0, "zq-listen.exe ended with %d: %r" % (code, output(log, "err")))
    check("R/81\\0.09/83\\-0.60  throttle 60 (0.09), flaps combat (-0.60)" in out,
          "zq-listen.exe printed %r" % out)
    print("zq-listen.exe --count 1: %s" % out.strip())


def listen_ctrl_c(args):
    # Wine hands SIGINT to a console program as Ctrl+C.
    log = os.path.join(args.logs, "zq-listen-ctrl-c")
    listener = start(args.wine, args.folder, ["zq-listen.exe", "--port", "0"], log)
    try:
        listening_port(listener, log)
        listener.send_signal(signal.SIGINT)
        code = listener.wait(timeout=20)
    finally:
        stop(listener)
    summary = "zq-listen: 0 datagrams, 0 not following the message grammar"
    check(code == 0 and summary in output(log, "err"),
          "zq-listen.exe after Ctrl+C: status %d, %r" % (code, output(log, "err")))
    print("zq-listen.exe stopped by Ctrl+C: status 0, %r" % summary)


def panel_first_tick(args):
    check(not os.path.exists(os.path.join(args.folder, "Setup.ini")),
          "the unpacked folder holds a Setup.ini")
    exe = os.path.join(args.folder, "zq-thrust.exe")
    # only datagrams of a process started from the unpacked folder count
    port = PanelPort(from_command(os.path.basename(args.folder)), timeout=120)
    panel = None
    try:
        started = time.time()
        panel = subprocess.Popen([args.wine, exe], cwd=args.folder, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        data = port.next(timeout=90)
        check(data is not None, "no datagram within 90 s of the panel's start")
        check(data == b"R/87\\-1", "first datagram %r, expected b'R/87\\\\-1'" % data)
        print("zq-thrust.exe: first datagram %r, %.1f s after the start" % (
            data.decode(), time.time() - started))
        # The task bar's Close: WM_CLOSE to the program's window.
        subprocess.run([args.wine, "taskkill", "/im", "zq-thrust.exe"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        code = panel.wait(timeout=30)
        check(code == 0, "the panel ended with %d after its window was closed" % code)
        print("zq-thrust.exe: window closed, exit status 0")
    finally:
        port.close()
        if panel is not None and panel.poll() is None:
            panel.kill()
            panel.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--logs", required=True, help="folder for the programs' output")
    args = parser.parse_args()
    for step in (versions, check_example, listen_once, listen_ctrl_c, panel_first_tick):
        try:
            step(args)
        except (Failure, subprocess.TimeoutExpired) as e:
            print("FAIL %s: %s" % (step.__name__, e))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
