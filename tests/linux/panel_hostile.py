#!/usr/bin/env python3
"""The panel against hostile files and hostile neighbours, each check under
its own Xvfb, with zq-check and zq-replay run beside it on the same files.

    panel_hostile.py CHECK --panel zq-thrust --probe zq-probe \
        --closer zq_test_close_window --check-tool zq-check --replay zq-replay \
        --artifacts DIR

Built on panel_harness.py (Session, checks, artifacts); CHECK is one of the
names in CHECKS below. Checks that act as another user need root and are
skipped (status 77) without it.
"""

import os
import signal
import subprocess
import sys
import time

from panel_harness import (PANEL_TITLE, QUIET, Failure, Session, Skip, as_user, check, ended,
                           instance_name, main, other_user_env, wait_for)

NOBODY = 65534
LIMIT = 16 << 20  # bytes a settings file may have
# CPU seconds a hostile file may add to a normal start: the panel's own CPU
# time, which other work on the machine does not stretch as it does the wall
# clock. A start that blocks (on a FIFO, say) shows no window at all.
START_SLACK = 1.0
STOP_WITHIN = 1.0  # seconds SIGTERM may take to end the panel


def make_cases(base, user):
    """(name, folder, cause, uid): one folder per hostile Setup.ini; `cause`
    is what the panel must say (None: the file is read, nothing is said)."""
    cases = []

    def folder(name):
        path = os.path.join(base, name)
        os.makedirs(path)
        return path, os.path.join(path, "Setup.ini")

    d, ini = folder("directory")
    os.mkdir(ini)
    cases.append(("directory", d, "it is a directory", None))
    d, ini = folder("fifo")
    os.mkfifo(ini)
    cases.append(("fifo", d, "it is a FIFO, not a regular file", None))
    d, ini = folder("dev-zero")
    os.symlink("/dev/zero", ini)
    cases.append(("dev-zero", d, "it is a character device, not a regular file", None))
    d, ini = folder("symlink-loop")
    os.symlink("loop.ini", ini)
    os.symlink("Setup.ini", os.path.join(d, "loop.ini"))
    cases.append(("symlink-loop", d, "a loop of symbolic links", None))
    d, ini = folder("unreadable")
    with open(ini, "w") as f:
        f.write(QUIET)
    os.chmod(ini, 0)  # root reads it all the same: the panel then runs as nobody
    cases.append(("unreadable", d, "permission denied", user))
    d, ini = folder("over-limit")
    with open(ini, "wb") as f:
        f.truncate(LIMIT + 1)
    cases.append(("over-limit", d, "it is too large: %d bytes, over the limit of 16 MiB"
                  % (LIMIT + 1), None))
    d, ini = folder("ten-megabytes")
    with open(ini, "wb") as f:
        f.write(ten_megabytes())
    cases.append(("ten-megabytes", d, None, None))
    return cases


def ten_megabytes():
    """A Setup.ini of 10 MB: the quiet settings, then comment lines."""
    line = b"; a remark that the panel skips, one line after another, to the end\r\n"
    body = QUIET.encode()
    return body + line * ((10_000_000 - len(body)) // len(line))


def run_tool(s, argv, cwd, uid, stdin=b"", tag=""):
    prefix = as_user(uid) if uid is not None else []
    try:
        env = other_user_env(os.environ) if uid is not None else None
        r = subprocess.run(prefix + argv, cwd=cwd, input=stdin, capture_output=True, timeout=20,
                           env=env)
    except subprocess.TimeoutExpired:
        raise Failure("%s %s: no answer within 20 s" % (tag, os.path.basename(argv[0])))
    with open(os.path.join(s.dir, "%s.%s.out" % (tag, os.path.basename(argv[0]))), "wb") as f:
        f.write(r.stdout + b"\n--- stderr\n" + r.stderr)
    return r


def cpu_seconds(pid):
    """The CPU time process `pid` has used, all its threads, in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def time_to_window(s, p):
    """(seconds, CPU seconds of the panel) until a panel window shows, None
    if the panel ended first or none showed within 15 s."""
    started = time.monotonic()
    shown = wait_for(lambda: s.windows(PANEL_TITLE) or p.poll() is not None, 15, 0.02)
    if not shown or p.poll() is not None:
        return None
    return time.monotonic() - started, cpu_seconds(p.pid)


def stop(s, p, what, windows_left=0):
    p.send_signal(signal.SIGTERM)
    rc = ended(p, STOP_WITHIN)
    check(rc == 0, "%s: SIGTERM gave %r within %s s" % (what, rc, STOP_WITHIN))
    check(wait_for(lambda: len(s.windows(PANEL_TITLE)) == windows_left, 15),
          "%s: window left after exit" % what)


def check_hostile_files(args):
    """Each hostile Setup.ini: the panel starts, with at most a second more CPU
    time than a normal start, names the cause on stderr, runs on the defaults and ends on
    SIGTERM; zq-check names the same cause and says the panel starts;
    zq-replay says it too and runs."""
    root = os.geteuid() == 0
    with Session(args, "hostile-files") as s:
        home = os.path.join(s.dir, "home")
        os.makedirs(home)
        os.chmod(home, 0o777)
        s.write_setup(QUIET)
        p = s.start("zq-thrust", tag="baseline")
        base = time_to_window(s, p)
        check(base is not None, "the panel did not start on a plain Setup.ini")
        stop(s, p, "baseline")
        timings = ["baseline %.3f s (CPU %.2f s)" % base]
        for name, folder, cause, uid in make_cases(os.path.join(s.dir, "cases"),
                                                   NOBODY if root else None):
            env = {"HOME": home} if uid is not None else None
            p = s.start("zq-thrust", cwd=folder, tag=name, user=uid, env=env)
            took = time_to_window(s, p)
            if took is None:
                raise Failure("%s: the panel ended (status %r): %r"
                              % (name, p.poll(), s.output(p)))
            timings.append("%s %.3f s (CPU %.2f s)" % ((name,) + took))
            check(took[1] <= base[1] + START_SLACK,
                  "%s: the start took %.2f s of CPU time (a plain start %.2f s)"
                  % (name, took[1], base[1]))
            # The start-up report's first line names the file or the cause; the
            # only other lines are about joysticks.
            said = s.output(p).splitlines()
            setup = os.path.join(os.path.realpath(folder), "Setup.ini")
            if cause is None:
                line = "zq-thrust: settings from " + setup
            else:
                line = ("zq-thrust: the settings file %s can't be read because %s: running on "
                        "the built-in defaults" % (setup, cause))
            check(said[:1] == [line] and
                  all(x.startswith("zq-thrust: joystick ") for x in said[1:]),
                  "%s: stderr %r, expected %r first" % (name, said, line))
            stop(s, p, name)

            r = run_tool(s, [s.bin("zq-check"), "--quiet", "Setup.ini"], folder, uid, tag=name)
            out = r.stdout.decode(errors="replace")
            check(r.returncode in (0, 1), "%s: zq-check status %d" % (name, r.returncode))
            if cause is None:
                check("cannot read" not in out, "%s: zq-check says %r" % (name, out))
            else:
                says = "cannot read the file (%s): the panel would start all the same" % cause
                check(says in out, "%s: zq-check does not say %r: %r" % (name, says, out))

            r = run_tool(s, [s.bin("zq-replay"), "--setup", "Setup.ini"], folder, uid,
                         b"tick\n", tag=name)
            check(r.returncode == 0, "%s: zq-replay status %d" % (name, r.returncode))
            check(r.stdout.startswith(b'{"tick":0,"event":"window"'),
                  "%s: zq-replay printed %r" % (name, r.stdout[:200]))
            err = r.stderr.decode(errors="replace")
            want = "" if cause is None else (
                "zq-replay: cannot read the settings file 'Setup.ini': %s; running on the "
                "defaults\n" % cause)
            check(err == want, "%s: zq-replay stderr %r, expected %r" % (name, err, want))
        with open(os.path.join(s.dir, "timings.txt"), "w") as f:
            f.write("\n".join(timings) + "\n")
        print("time to window: " + ", ".join(timings))
        if not root:
            print("note: not root, so the unreadable file was tried as this user")


def watches_signals(pid):
    """True once `pid` catches SIGINT, SIGTERM and SIGHUP: the panel sets
    its handlers for the three at once, SIGHUP last, at the very start of
    its run. (The blocked mask would mislead: making a thread blocks every
    signal for a moment.)"""
    try:
        with open("/proc/%d/status" % pid) as f:
            caught = next((int(line.split()[1], 16) for line in f if line.startswith("SigCgt:")), 0)
    except (OSError, ValueError):
        return False
    wanted = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
    return all(caught & (1 << (int(sig) - 1)) for sig in wanted)


def check_start_signals(args):
    """SIGTERM, SIGINT and SIGHUP end a start that waits for a stopped X
    server at once, with exit code 0 and nothing said."""
    with Session(args, "start-signals") as s:
        s.write_setup(QUIET)
        s.xvfb.send_signal(signal.SIGSTOP)
        try:
            for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
                p = s.start("zq-thrust", tag=sig.name)
                # Sent once the panel holds the signals for itself: before
                # that, a loaded machine's slow start meets the default action.
                check(wait_for(lambda: watches_signals(p.pid), 10, 0.005),
                      "%s: the panel never took the signals" % sig.name)
                check(p.poll() is None, "%s: the panel did not wait for the server" % sig.name)
                p.send_signal(sig)
                rc = ended(p, STOP_WITHIN)
                check(rc == 0, "%s during the start: %r within %s s" % (sig.name, rc, STOP_WITHIN))
                check(s.output(p) == "", "%s: stderr %r" % (sig.name, s.output(p)))
        finally:
            s.xvfb.send_signal(signal.SIGCONT)


def check_x_server_gone(args):
    """The X server ends under a running panel: one line naming the program
    and the display, exit code 1."""
    with Session(args, "x-server-gone") as s:
        s.write_setup(QUIET)
        p = s.start("zq-thrust")
        s.wait_window(PANEL_TITLE)
        display = s.env["DISPLAY"]
        s.xvfb.kill()
        s.xvfb.wait()
        s.xvfb = None
        rc = ended(p, 5)
        check(rc == 1, "exit code %r" % rc)
        line = 'zq-thrust: lost the connection to the X server "%s"; ending' % display
        said = s.output(p).splitlines()
        # After the start-up report: that one line.
        check(said[-1:] == [line] and s.output(p).endswith("\n") and
              not any("X server" in x for x in said[:-1]),
              "stderr %r, expected %r last" % (s.output(p), line))


SQUATTER = r"""
import socket, sys, time
held = []
for kind, name in ((socket.SOCK_STREAM, sys.argv[1]), (socket.SOCK_DGRAM, "ZQ-test-joy")):
    sock = socket.socket(socket.AF_UNIX, kind)
    sock.bind(b"\0" + name.encode())
    if kind == socket.SOCK_STREAM:
        sock.listen(0)  # and never answers
    held.append(sock)
print("holding", flush=True)
time.sleep(600)
"""


def check_instance_squat(args):
    """`nobody` holds root's instance name (and the old machine-wide one):
    root's panel starts all the same; nobody's own panel runs beside it;
    a second copy of either user ends at once with 0, silently."""
    if os.geteuid() != 0:
        raise Skip("acting as another user needs root")
    with Session(args, "instance-squat") as s:
        home = os.path.join(s.dir, "home")
        os.makedirs(home)
        os.chmod(home, 0o777)
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        squatter = subprocess.Popen(
            as_user(NOBODY) + [python, "-c", SQUATTER, instance_name(s.env["DISPLAY"], 0)],
            stdout=subprocess.PIPE)
        s.procs.append(squatter)
        check(squatter.stdout.readline() == b"holding\n", "the squatter could not bind")
        s.write_setup(QUIET)
        root = s.start("zq-thrust", tag="root")
        check(time_to_window(s, root) is not None,
              "root's panel ended: %r" % s.output(root))
        theirs = os.path.join(s.dir, "nobody")
        s.write_setup(QUIET, theirs)
        nobody = s.start("zq-thrust", cwd=theirs, tag="nobody", user=NOBODY, env={"HOME": home})
        check(wait_for(lambda: len(s.windows(PANEL_TITLE)) == 2 or nobody.poll() is not None, 15),
              "nobody's panel: %r" % s.output(nobody))
        check(nobody.poll() is None, "nobody's panel ended: %r" % s.output(nobody))
        for tag, uid in (("root-second", None), ("nobody-second", NOBODY)):
            env = {"HOME": home} if uid is not None else None
            p = s.start("zq-thrust", tag=tag, user=uid, env=env, cwd=theirs)
            rc = ended(p, 1.0)
            check(rc == 0, "%s copy: exit code %r" % (tag, rc))
            check(s.output(p) == "" and s.output(p, "stdout") == "", "%s copy said something"
                  % tag)
        check(len(s.windows(PANEL_TITLE)) == 2, "the two panels are not both there")
        stop(s, nobody, "nobody's panel", windows_left=1)
        check(root.poll() is None, "root's panel ended")
        root.send_signal(signal.SIGTERM)
        check(ended(root, STOP_WITHIN) == 0, "root's panel: SIGTERM")


CHECKS = {
    "hostile_files": check_hostile_files,
    "start_signals": check_start_signals,
    "x_server_gone": check_x_server_gone,
    "instance_squat": check_instance_squat,
}


if __name__ == "__main__":
    sys.exit(main(CHECKS))
