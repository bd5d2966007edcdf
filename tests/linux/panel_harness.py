#!/usr/bin/env python3
"""Checks of the Linux panel as a player meets it, each under its own Xvfb.

    panel_harness.py CHECK --panel zq-thrust --probe zq-probe \
        --closer zq_test_close_window --artifacts DIR

CHECK is one of the names in CHECKS below. Screenshots and the panel's output stay in
ARTIFACTS/CHECK/ for a look afterwards. Window geometry comes from xwininfo,
pixels from the X server's root window, datagrams from a listener on
127.0.0.1:21100: nothing is asked of the panel itself.
"""

import argparse
import locale
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import (Failure, PanelPort, TickTrace, check, from_pids,  # noqa: E402,F401
                         socket_inodes, start_xvfb, udp_local_addresses, udp_socket_inodes,
                         wait_for)


def udp_socket_inode(port):
    return next(iter(udp_socket_inodes(port)), None)

NAVY = (0, 0, 128)
WHITE = (255, 255, 255)
YELLOW = (255, 255, 0)
BLUE = (0, 0, 255)
LIME = (0, 255, 0)
PANEL_TITLE = "ZQ - Thrust"
BOX_TITLE = "zq-thrust"  # the program title of an executable named zq-thrust
QUIET = "[main]\r\nYaxis=-1 0\r\n"  # no stick: nothing changes, nothing is sent


class Image:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])


class Listener(PanelPort):
    """The simulator's side: 127.0.0.1:21100. Other suites may hold the port
    for a moment; wait for it rather than fail. Only datagrams from the
    session's own processes count: another program on this machine that
    talks to the port (a Windows panel under wine, a developer's replay)
    is noted in stray-datagrams.txt and otherwise ignored."""

    def __init__(self, session, timeout=60):
        self.session = session
        super().__init__(from_pids(lambda: [p.pid for p in session.procs if p.poll() is None]),
                         timeout, lock=False, stray=self._note_stray)

    def _note_stray(self, port, data):
        with open(os.path.join(self.session.dir, "stray-datagrams.txt"), "ab") as f:
            f.write(b"from port %d: %r\n" % (port, data))

    def first(self, timeout):
        return self.next(timeout)


def instance_name(display, uid=None):
    """The panel's single-instance name for a user on an X display."""
    number = display.rsplit(":", 1)[1].split(".")[0]
    return "ZQ-test-joy/%d/:%s" % (os.getuid() if uid is None else uid, number)


def wait_instance_free(display, timeout=120):
    """A panel left from another run on this display (a player's own, a run
    whose X server number came free again) holds the name and would make
    every copy started here end at once: wait for it to go."""
    deadline = time.monotonic() + timeout
    while True:
        probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            probe.connect(b"\0" + instance_name(display).encode())
        except OSError:
            return
        finally:
            probe.close()
        check(time.monotonic() < deadline, "another zq-thrust keeps running (%s)"
              % instance_name(display))
        time.sleep(0.2)


class Session:
    """An Xvfb on a free display, a working folder and the processes started
    in it; everything is ended on the way out."""

    def __init__(self, args, name, screen=(1920, 1080), x=True, xvfb_args=()):
        self.args = args
        self.dir = os.path.join(args.artifacts, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.work = os.path.join(self.dir, "work")
        os.makedirs(self.work)
        self.procs = []
        self.xvfb = None
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "ZQ_FONT")}
        if x:
            self.start_xvfb(screen, xvfb_args)

    def start_xvfb(self, screen, extra=()):
        self.xvfb, self.env["DISPLAY"] = start_xvfb("%dx%dx24" % screen,
                                                    ["-noreset"] + list(extra))
        wait_instance_free(self.env["DISPLAY"])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait()
        return False

    def bin(self, name):
        return {"zq-thrust": self.args.panel, "zq-probe": self.args.probe,
                "zq_test_close_window": self.args.closer, "zq-check": self.args.check_tool,
                "zq-replay": self.args.replay}.get(name, name)

    def write_setup(self, text, folder=None):
        folder = folder or self.work
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "Setup.ini"), "wb") as f:
            f.write(text.encode("latin-1") if isinstance(text, str) else text)

    def start(self, program, args=(), cwd=None, env=None, tag=None, user=None, wrap=()):
        """Starts a program of the build (or any program by its name); `user`
        (a uid) runs it as that user, `wrap` is a command to run it under."""
        tag = tag or os.path.basename(program)
        if program == "zq-thrust":
            # The tick trace on its stderr: input is placed by the panel's own ticks.
            env = dict({"ZQ_TICK_TRACE": "1"}, **(env or {}))
        out = open(os.path.join(self.dir, tag + ".stdout"), "wb")
        err = open(os.path.join(self.dir, tag + ".stderr"), "wb")
        prefix = as_user(user) if user is not None else []
        p = subprocess.Popen(prefix + list(wrap) + [self.bin(program)] + list(args),
                             cwd=cwd or self.work,
                             env=other_user_env(dict(self.env, **(env or {})))
                             if user is not None else dict(self.env, **(env or {})),
                             stdout=out, stderr=err,
                             stdin=subprocess.DEVNULL)
        p.tag = tag
        p.is_panel = program == "zq-thrust"
        p.trace = TickTrace(os.path.join(self.dir, tag + ".stderr"))
        self.procs.append(p)
        return p

    def panel(self):
        """The zq-thrust started last that still runs, or None."""
        running = [p for p in self.procs if getattr(p, "is_panel", False) and p.poll() is None]
        return running[-1] if running else None

    def ticking(self, p, count=1):
        """Waits until the panel `p` has run `count` ticks: it reads its keys."""
        check(wait_for(lambda: len(p.trace.ticks()) >= count, 15),
              "%s: no tick within 15 s" % p.tag)

    def start_wm(self):
        """icewm, a window manager from Debian, managing this display."""
        self.start("icewm", tag="icewm", env={"HOME": self.dir})
        check(wait_for(lambda: "window id" in self.x(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check_rc=False).stdout, 15),
            "icewm did not take the display")
        time.sleep(0.5)

    def focus(self):
        return int(self.x("xdotool", "getwindowfocus").stdout.strip())

    def root_windows(self, prop):
        """The window ids of a window-list property of the root window."""
        text = self.x("xprop", "-root", prop).stdout
        return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", text)]

    def output(self, p, stream="stderr"):
        """What `p` wrote, its tick trace left out."""
        with open(os.path.join(self.dir, p.tag + "." + stream), "rb") as f:
            text = f.read().decode("utf-8", "replace")
        return "".join(line for line in text.splitlines(True)
                       if not TickTrace.LINE.match(line.rstrip("\n")))

    def x(self, *cmd, check_rc=True):
        r = subprocess.run(list(cmd), env=self.env, capture_output=True, text=True, timeout=30)
        if check_rc and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(cmd), r.stderr.strip()))
        return r

    def windows(self, name):
        # xwininfo, not xdotool search: the latter misses windows whose only
        # name is a UTF-8 one, such as SDL's message boxes.
        # A window that goes while xwininfo walks the tree fails it: again.
        for _ in range(5):
            r = self.x("xwininfo", "-root", "-tree", check_rc=False)
            if r.returncode == 0:
                break
            time.sleep(0.05)
        tree = r.stdout
        return [int(m.group(1), 16) for m in re.finditer(r'^\s*(0x[0-9a-f]+) "(.*)":', tree, re.M)
                if m.group(2) == name]

    def wait_window(self, name, timeout=15):
        found = wait_for(lambda: self.windows(name), timeout)
        check(found, "no window named %r appeared within %s s" % (name, timeout))
        return found[0]

    def geometry(self, window):
        info = self.x("xwininfo", "-id", str(window)).stdout
        get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        return (get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"),
                get("Height"))

    def screenshot(self, name):
        png = os.path.join(self.dir, name + ".png")
        self.x("import", "-window", "root", png)
        size = self.x("identify", "-format", "%w %h", png).stdout.split()
        raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                             check=True).stdout
        return Image(int(size[0]), int(size[1]), raw)

    def box_text(self, window):
        """The text the error box shows, from the property it publishes."""
        out = self.x("xprop", "-id", str(window), "_ZQ_BOX_TEXT").stdout
        m = re.match(r'_ZQ_BOX_TEXT\(UTF8_STRING\) = "(.*)"\s*$', out, re.S)
        check(m, "the box publishes no text: %r" % out)
        return re.sub(r'\\(.)', r'\1', m.group(1))

    def hold_key(self, key, ticks=2, seconds=0.25):
        """Holds the key down until the running panel has run `ticks` ticks
        that saw it down (a key down and up between two ticks is not seen);
        without a panel (zq-probe alone) for `seconds`."""
        panel = self.panel()
        self.x("xdotool", "keydown", key)
        if panel is None:
            time.sleep(seconds)
        else:
            seen = panel.trace.wait_ticks(ticks)
        self.x("xdotool", "keyup", key)
        check(panel is None or seen, "no tick of the panel while %s was down" % key)


def as_user(uid):
    """The command prefix that runs a program as user `uid` (group the same
    number, no supplementary groups)."""
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups", "--"]


def other_user_env(env):
    """The environment for a program run as another user. Under the
    sanitizers its leak check is left to root's runs of the same code: the
    other user may not read the suppressions file (a checkout under /root),
    and a leak check that cannot read it ends the program with status 1."""
    env = dict(env)
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    return env


def ended(p, timeout):
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def panel_pixels(image, origin, rect):
    ox, oy = origin
    x0, y0, x1, y1 = rect
    return [(x, y, image.pixel(ox + x, oy + y)) for y in range(y0, y1 + 1)
            for x in range(x0, x1 + 1)]


def expect_all(image, origin, rect, colour, what):
    bad = [(x, y, c) for x, y, c in panel_pixels(image, origin, rect) if c != colour]
    check(not bad, "%s: expected %s everywhere in %s, got %s" % (what, colour, rect, bad[:4]))


def expect_some(image, origin, rect, colour, what):
    check(any(c == colour for _, _, c in panel_pixels(image, origin, rect)),
          "%s: no pixel of %s in %s" % (what, colour, rect))


# ---------------------------------------------------------------- the checks


def check_placement(args):
    """No Setup.ini on 1920x1080: 1878,675 42x77, navy, start texts, the
    default curve's preview."""
    with Session(args, "placement") as s:
        panel = s.start("zq-thrust")
        window = s.wait_window(PANEL_TITLE)
        time.sleep(0.5)
        geometry = s.geometry(window)
        check(geometry == (1878, 675, 42, 77), "panel stands at %s" % (geometry,))
        img = s.screenshot("default")
        o = geometry[:2]
        expect_all(img, o, (41, 0, 41, 51), NAVY, "background right of the labels")
        expect_some(img, o, (0, 0, 30, 12), BLUE, "f shows its start text in blue")
        # yp reads -100 (no stick: the Y axis at its end) and fits its column.
        expect_some(img, o, (13, 16, 17, 28), WHITE, "yp's last digit of -100")
        expect_all(img, o, (19, 16, 19, 28), NAVY, "column between yp and ty")
        for top, label in ((16, "ty"), (28, "tx"), (40, "tz")):
            expect_some(img, o, (20, top, 26, top + 12), YELLOW, label + " in yellow")
        for left, label in ((0, "Label1"), (20, "Label2")):
            expect_some(img, o, (left, 64, left + 6, 76), WHITE, label)
        # "0 100": column 1 of P dark, columns 2..20 light rows 1..10.
        expect_all(img, o, (20, 53, 20, 62), NAVY, "P column 1")
        expect_all(img, o, (21, 53, 39, 62), WHITE, "P columns 2..20, rows 1..10")
        expect_all(img, o, (26, 52, 39, 52), NAVY, "P row 0")
        expect_all(img, o, (21, 63, 39, 63), NAVY, "P row 11")
        check(panel.poll() is None, "panel ended")
    with Session(args, "placement-900", screen=(1600, 900)) as s:
        s.start("zq-thrust")
        geometry = s.geometry(s.wait_window(PANEL_TITLE))
        check(geometry == (1558, 562, 42, 77), "on 1600x900 the panel stands at %s" % (geometry,))


def check_flaps_preview(args):
    """A chosen Setup.ini: the power key sets flap position 2, whose colour
    covers the flap label with its trailing blanks; the preview of the Y curve
    as stored, cut at the edge of P."""
    with Session(args, "flaps-preview") as s:
        listener = Listener(s)
        try:
            s.write_setup(QUIET + "power=I\r\nstartflaps=2\r\n"
                          "Y=0 0 0 0 30 -50 100 5 -100 -100 -100\r\n")
            panel = s.start("zq-thrust")
            geometry = s.geometry(s.wait_window(PANEL_TITLE))
            s.ticking(panel)
            s.hold_key("i")
            got = listener.first(5)
            check(got == b"R/83\\-0.34", "power key sent %r" % (got,))
            time.sleep(0.2)
            img = s.screenshot("flaps")
        finally:
            listener.close()
        o = geometry[:2]
        # "взлет" and four blanks on yellow, in the label's blue.
        expect_all(img, o, (0, 0, 8, 1), YELLOW, "flap label background")
        row = [img.pixel(o[0] + x, o[1] + 1) for x in range(42)]
        label_right = max(x for x in range(42) if row[x] == YELLOW)
        text_right = max(x for x, y, c in panel_pixels(img, o, (0, 0, 41, 12)) if c == BLUE)
        check(label_right - text_right >= 8,
              "blanks after the flap text not covered: text ends at %d, colour at %d"
              % (text_right, label_right))
        if label_right < 41:
            check(row[label_right + 1] == NAVY, "flap colour beyond its label")
        # Points 4..10 are 30, -50, 100, 5, -100, -100, -100: columns 8..20.
        expect_all(img, o, (27, 60, 28, 62), WHITE, "30 lights rows 8..10")
        expect_all(img, o, (27, 53, 28, 59), NAVY, "above 30")
        expect_all(img, o, (27, 63, 28, 68), NAVY, "below 30")
        expect_all(img, o, (29, 62, 30, 66), WHITE, "-50 lights rows 10..14")
        expect_all(img, o, (29, 53, 30, 61), NAVY, "above -50")
        expect_all(img, o, (29, 67, 30, 68), NAVY, "below -50")
        expect_all(img, o, (31, 53, 32, 62), WHITE, "100 lights rows 1..10")
        expect_all(img, o, (33, 53, 34, 68), NAVY, "5 lights nothing")
        expect_all(img, o, (35, 62, 39, 68), WHITE, "-100 lights rows 10..16")
        expect_all(img, o, (35, 69, 39, 76), NAVY, "nothing below P")
        expect_all(img, o, (40, 52, 41, 76), NAVY, "right of column 20")


def comma_locale(s):
    """Environment of a locale whose decimal separator is a comma."""
    for name in ("de_DE.UTF-8", "de_DE.utf8"):
        try:
            locale.setlocale(locale.LC_ALL, name)
            ok = locale.localeconv()["decimal_point"] == ","
            locale.setlocale(locale.LC_ALL, "C")
            if ok:
                return {"LC_ALL": name}
        except locale.Error:
            pass
    # Not installed: build it into the artifacts folder from the locale sources.
    path = os.path.join(s.args.artifacts, "locale")
    target = os.path.join(path, "de_DE.UTF-8")
    if not os.path.isdir(target):
        os.makedirs(path, exist_ok=True)
        r = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", target],
                           capture_output=True)
        check(os.path.isdir(target), "cannot make the de_DE.UTF-8 locale (package locales): %s"
              % r.stderr.decode(errors="replace"))
    probe = subprocess.run(["python3", "-c", "import locale; locale.setlocale(locale.LC_ALL, '');"
                            "print(locale.localeconv()['decimal_point'])"],
                           env=dict(os.environ, LOCPATH=path, LC_ALL="de_DE.UTF-8"),
                           capture_output=True, text=True)
    check(probe.stdout.strip() == ",", "the de_DE.UTF-8 locale does not use a decimal comma")
    return {"LOCPATH": path, "LC_ALL": "de_DE.UTF-8"}


def check_udp_power(args):
    """The power key with startflaps=2 sends exactly R/83\\-0.34, under a
    locale that writes numbers with a decimal comma."""
    with Session(args, "udp-power") as s:
        listener = Listener(s)
        try:
            s.write_setup(QUIET + "startflaps=2\r\n")  # power keeps its default, the I key
            panel = s.start("zq-thrust", env=comma_locale(s))
            s.wait_window(PANEL_TITLE)
            s.ticking(panel)
            quiet = listener.receive(0.6)
            check(quiet == [], "sent without a change: %r" % quiet)
            s.hold_key("i")
            got = listener.receive(1.5)
            check(got == [b"R/83\\-0.34"], "power key sent %r" % got)
            # its socket is reachable from this machine's loopback alone
            local = udp_local_addresses(socket_inodes([p.pid for p in s.procs]))
            check(local and all(a.startswith("127.0.0.1:") for a in local),
                  "the panel's UDP sockets are on %r" % local)
        finally:
            listener.close()


def check_numlock_step(args):
    """Num Lock on (its indicator) makes the throttle step 2, off 10."""
    with Session(args, "numlock-step") as s:
        listener = Listener(s)
        try:
            s.write_setup(QUIET + "PowerPlus=U\r\n")
            panel = s.start("zq-thrust")
            s.wait_window(PANEL_TITLE)
            s.ticking(panel)
            # The lamp wakes the panel: the tick after it has seen it.
            s.x("xdotool", "key", "Num_Lock")
            panel.trace.wait_ticks(1)
            s.hold_key("u", 1)
            first = listener.first(5)
            check(first == b"R/81\\-0.96", "first step with Num Lock on sent %r" % (first,))
            later = listener.receive(0.5)  # the key may have been down for more ticks
            last = (later[-1] if later else first).decode()
            throttle = round((float(last.split("\\")[1]) + 1) * 55)
            s.x("xdotool", "key", "Num_Lock")
            panel.trace.wait_ticks(1)
            s.hold_key("u", 1)
            step = listener.first(5)
            expected = "R/81\\%.2f" % ((throttle + 10) / 55 - 1)
            check(step == expected.encode(), "step with Num Lock off sent %r, expected %r"
                  % (step, expected))
        finally:
            listener.close()


def check_second_copy(args):
    """A second copy ends at once with exit code 0 and sends nothing; after
    the first is killed outright a new copy starts; SIGTERM ends it with 0."""
    with Session(args, "second-copy") as s:
        listener = Listener(s)
        try:
            s.write_setup(QUIET)
            first = s.start("zq-thrust", tag="first")
            s.wait_window(PANEL_TITLE)
            check(listener.receive(0.5) == [], "the quiet first copy sent something")
            # From another folder, whose Setup.ini would make it send at once.
            other = os.path.join(s.dir, "other")
            os.makedirs(other)
            # "At once" against a start that does nothing either, on the
            # machine as busy as it is now.
            started = time.monotonic()
            version = s.start("zq-thrust", ["--version"], cwd=other, tag="version")
            check(ended(version, 30) == 0, "--version: exit code %r" % version.poll())
            plain = time.monotonic() - started
            started = time.monotonic()
            second = s.start("zq-thrust", cwd=other, tag="second")
            rc = ended(second, 2 * plain + 1.0)
            took = time.monotonic() - started
            check(rc == 0, "second copy: exit code %r after %.2f s (--version took %.2f s)"
                  % (rc, took, plain))
            check(s.output(second) == "" and s.output(second, "stdout") == "",
                  "second copy said something")
            check(listener.receive(1.0) == [], "something was sent while the second copy ran")
            check(len(s.windows(PANEL_TITLE)) == 1, "more than one panel window")
            check(first.poll() is None, "the first copy ended")

            first.send_signal(signal.SIGKILL)
            first.wait()
            third = s.start("zq-thrust", cwd=other, tag="third")
            s.wait_window(PANEL_TITLE)
            got = listener.first(5)
            check(got == b"R/87\\-1", "the new copy sent %r" % (got,))
            check(third.poll() is None, "the new copy ended")
            third.send_signal(signal.SIGTERM)
            rc = ended(third, 5)
            check(rc == 0, "SIGTERM: exit code %r" % rc)
        finally:
            listener.close()


def check_close_window(args):
    """Closing the window the way a task bar does ends the run with 0; so
    does the same user's zq-setup asking it to close."""
    with Session(args, "close-window") as s:
        s.write_setup(QUIET)
        panel = s.start("zq-thrust")
        window = s.wait_window(PANEL_TITLE)
        s.ticking(panel)
        subprocess.run([s.bin("zq_test_close_window"), str(window)], env=s.env, check=True)
        rc = ended(panel, 5)
        check(rc == 0, "after close: exit code %r" % rc)
        # The start-up report only: nothing about the close.
        check(report_lines(s, panel)[0].startswith("zq-thrust: settings from ")
              and len(report_lines(s, panel)) == 2, "stderr: %r" % s.output(panel))
        # zq-setup's "Save and restart": the request on the panel's instance
        # name ends the run the same way, with 0 and nothing said.
        panel = s.start("zq-thrust", tag="asked")
        s.wait_window(PANEL_TITLE)
        s.ticking(panel)
        ask = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        ask.settimeout(5)
        ask.connect("\0ZQ-test-joy/%d/%s" % (os.getuid(), s.env["DISPLAY"]))
        ask.sendall(b"close\n")
        answer = ask.recv(64)
        ask.close()
        check(answer == b"closing\n", "the close request is taken: %r" % answer)
        rc = ended(panel, 5)
        check(rc == 0, "after the close request: exit code %r" % rc)
        check(len(report_lines(s, panel)) == 2, "stderr: %r" % s.output(panel))


def report_lines(s, p):
    return s.output(p).splitlines()


class StartsWith(str):
    """A line in an expected list that only its start has to match."""

    def __eq__(self, other):
        return isinstance(other, str) and other.startswith(str(self))

    __hash__ = str.__hash__


def check_focus(args):
    """Under icewm: the panel takes the focus neither at start nor when
    clicked, stays above the focused window that overlaps it, keeps its
    task-bar entry and is closed by the window manager."""
    with Session(args, "focus", screen=(1024, 768)) as s:
        s.write_setup(QUIET)
        s.start_wm()
        # A window that takes the focus, lying over the panel's place.
        s.start("xmessage", ["-title", "zq other", "-geometry", "400x300+700+350",
                             "the simulator"], tag="other")
        other = s.wait_window("zq other")
        s.x("xdotool", "windowactivate", "--sync", str(other))
        focused = wait_for(lambda: s.focus() not in (0, 1) and s.focus(), 5)
        check(focused, "the other window did not get the focus")
        panel = s.start("zq-thrust")
        window = s.wait_window(PANEL_TITLE)
        time.sleep(0.8)
        check(s.focus() == focused, "the panel took the focus at start (%s)" % s.focus())
        hints = s.x("xprop", "-id", str(window), "WM_HINTS", "WM_PROTOCOLS",
                    "_NET_WM_STATE").stdout
        check("accepts input or input focus: False" in hints, "WM_HINTS: %s" % hints)
        check("WM_DELETE_WINDOW" in hints and "WM_TAKE_FOCUS" not in hints,
              "WM_PROTOCOLS: %s" % hints)
        check("SKIP_TASKBAR" not in hints, "no task-bar entry: %s" % hints)
        check(window in s.root_windows("_NET_CLIENT_LIST"), "the window manager lists no panel")
        x, y, w, h = s.geometry(window)
        s.x("xdotool", "mousemove", "--sync", str(x + w // 2), str(y + 5), "click", "1")
        time.sleep(0.5)
        s.x("xdotool", "mousemove", "--sync", str(x + w - 2), str(y + h // 2), "click", "1")
        time.sleep(0.5)
        check(s.focus() == focused, "a click gave the panel the focus (%s)" % s.focus())
        # The other window raised again: the panel stays on top of it.
        s.x("xdotool", "windowactivate", "--sync", str(other))
        time.sleep(0.5)
        stacking = s.root_windows("_NET_CLIENT_LIST_STACKING")
        check(stacking.index(window) > stacking.index(other),
              "panel below the other window: %s" % stacking)
        img = s.screenshot("over-other")
        expect_all(img, (x, y), (41, 0, 41, 51), NAVY, "panel drawn over the other window")
        check(s.focus() == focused, "focus moved to %s" % s.focus())
        s.x("wmctrl", "-i", "-c", hex(window))
        check(ended(panel, 5) == 0, "the window manager's close did not end the panel with 0")


def check_start_report(args):
    """The start-up report on stderr, line by line: defaults, near misses,
    a missing bound stick, a chosen folder and file; nothing on quiet ticks."""
    def run(s, tag, args=(), cwd=None):
        p = s.start("zq-thrust", args, cwd=cwd, tag=tag)
        s.wait_window(PANEL_TITLE)
        s.ticking(p)  # the report's last line comes after the first tick
        time.sleep(1.0)  # and then a quiet second
        lines = report_lines(s, p)
        p.send_signal(signal.SIGTERM)
        check(ended(p, 5) == 0, "%s: SIGTERM did not end the panel with 0" % tag)
        check(report_lines(s, p) == lines, "%s: lines after quiet ticks: %r" % (tag, s.output(p)))
        return lines

    # Which slots the line names is the run report's rule (its unit tests
    # hold it); here the line must come out, after the file's lines.
    defaults_stick = StartsWith("zq-thrust: joystick 0 (Yaxis, ")
    keys_only = "".join("%s=-1 1\r\n" % k for k in (
        "trimbtn", "usetrim", "useYtrim", "trimXbtn", "trimZbtn", "Fire2", "Fire12", "curveup",
        "curvedown", "resetbtn", "flapsup", "flapsdown", "IncZtrim", "DecZtrim", "PowerMinus",
        "PowerPlus"))
    chosen = "[main]\r\nYaxis=3 1\r\nfire=3 2\r\n" + keys_only + "power=I\r\nstartflaps=2\r\n"
    stick3 = ("zq-thrust: joystick 3 (Yaxis, fire) is not connected: its axes read -100 until "
              "it answers")
    with Session(args, "start-report") as s:
        work = os.path.realpath(s.work)
        got = run(s, "defaults")
        check(got == ["zq-thrust: no Setup.ini in %s: running on the built-in defaults" % work,
                      defaults_stick], "defaults: %r" % got)
        for name in ("setup.ini", "Setup.ini.txt"):
            with open(os.path.join(s.work, name), "w") as f:
                f.write("[main]\n")
        got = run(s, "near-miss")
        check(got == ["zq-thrust: no Setup.ini in %s: running on the built-in defaults" % work,
                      'zq-thrust: hint: %s holds "Setup.ini.txt", which is not read: rename it '
                      'to "Setup.ini" (the file manager may hide its ending)' % work,
                      'zq-thrust: hint: %s holds "setup.ini", which is not read: rename it to '
                      '"Setup.ini"' % work, defaults_stick], "near miss: %r" % got)

        # A chosen folder and a chosen file win over the working folder's file.
        s.write_setup(QUIET + "startflaps=1\r\n")
        folder = os.path.join(work, "f16")
        s.write_setup(chosen, folder)
        single = os.path.join(work, "mig.ini")
        with open(single, "w") as f:
            f.write(chosen)
        # "~/f16" as a menu entry passes it, without a shell to expand it.
        for tag, option, env in (("setup-folder", ["--setup", "f16"], None),
                                 ("setup-file", ["--setup=" + single], None),
                                 ("setup-home", ["--setup", "~/f16"], {"HOME": work})):
            listener = Listener(s)
            try:
                p = s.start("zq-thrust", option, tag=tag, env=env)
                s.wait_window(PANEL_TITLE)
                first = listener.first(5)
                check(first == b"R/87\\-1", "%s: first datagram %r" % (tag, first))
                s.hold_key("i")
                got = listener.first(5)
                check(got == b"R/83\\-0.34", "%s: power sent %r (not the chosen file's)"
                      % (tag, got))
                time.sleep(0.5)
                path = single if tag == "setup-file" else os.path.join(folder, "Setup.ini")
                check(report_lines(s, p) == ["zq-thrust: settings from " + path, stick3],
                      "%s: %r" % (tag, s.output(p)))
                p.send_signal(signal.SIGTERM)
                check(ended(p, 5) == 0, "%s: SIGTERM" % tag)
            finally:
                listener.close()


def check_send_report(args):
    """A failed send gets one line (and its box), the recovery one more:
    the panel runs in a network namespace whose loopback is down at first."""
    with Session(args, "send-report") as s:
        s.write_setup("[main]\r\nYaxis=-1 0\r\nflapsdown=K\r\nflapsup=J\r\n" + "".join(
            "%s=-1 1\r\n" % k for k in (
                "trimbtn", "usetrim", "useYtrim", "trimXbtn", "trimZbtn", "fire", "Fire2",
                "Fire12", "curveup", "curvedown", "resetbtn", "IncZtrim", "DecZtrim",
                "PowerMinus", "PowerPlus")))
        panel = s.start("zq-thrust", wrap=["unshare", "--net", "--"])
        s.wait_window(PANEL_TITLE)
        s.ticking(panel)
        s.hold_key("k")
        s.wait_window(BOX_TITLE)
        s.hold_key("j")
        s.hold_key("k")  # still failing: no second line
        time.sleep(0.3)
        failed = ("zq-thrust: sending to 127.0.0.1:21100 failed: Socket Error # 10051 Network is "
                  "unreachable. Changes are lost until sending works again")
        start = ["zq-thrust: settings from " + os.path.join(os.path.realpath(s.work), "Setup.ini")]
        got = report_lines(s, panel)
        check(got == start + [failed], "while failing: %r" % got)
        subprocess.run(["nsenter", "--net=/proc/%d/ns/net" % panel.pid, "ip", "link", "set", "lo",
                        "up"], check=True)
        s.hold_key("j")
        s.hold_key("k")
        want = start + [failed, "zq-thrust: sending to 127.0.0.1:21100 again"]
        check(wait_for(lambda: report_lines(s, panel) == want, 5),
              "after recovery: %r" % report_lines(s, panel))
        check(panel.poll() is None, "panel ended")


def box_processes(panel_pid):
    """(pid, argv) of the error-box processes of the panel."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            if ppid != panel_pid:
                continue
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv = f.read().split(b"\0")[:-1]
            if len(argv) >= 2 and argv[1] == b"--zq-error-box":
                found.append((int(entry), argv))
        except (OSError, IndexError, ValueError):
            pass
    return found


def process_tree(pid):
    """pid and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    tree, todo = [], [pid]
    while todo:
        p = todo.pop()
        tree.append(p)
        todo.extend(children.get(p, []))
    return tree


def gone(pid):
    """No such process, or one that ended and waits for its parent."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except OSError:
        return True


def open_box(s, setup, tag="zq-thrust"):
    """A panel whose Setup.ini fails to load: (panel, box window, box pid)."""
    s.write_setup(setup)
    panel = s.start("zq-thrust", tag=tag)
    box = s.wait_window(BOX_TITLE)
    boxes = wait_for(lambda: box_processes(panel.pid), 15)
    check(len(boxes) == 1, "box processes: %r" % boxes)
    check(process_tree(boxes[0][0]) == [boxes[0][0]], "the box process has processes of its own")
    return panel, box, boxes[0][0]


def check_malformed_binding(args):
    """A malformed binding number: a box titled with the program title and
    the conversion text; the panel runs on with what was loaded before it, at
    the design's place and size, ticking while the box is open."""
    with Session(args, "malformed-binding") as s:
        listener = Listener(s)
        try:
            panel, box, _ = open_box(s, "[main]\r\nflapsdown=K\r\nYaxis=J 1\r\nWindowX=5\r\n")
            text = s.box_text(box)
            check(text == "'J' is not a valid integer value.", "box text %r" % text)
            setup = os.path.join(os.path.realpath(s.work), "Setup.ini")
            lines = report_lines(s, panel)
            check(lines[:2] == [
                "zq-thrust: settings from " + setup,
                "zq-thrust: %s:3: Yaxis: 'J' is not a valid integer value. Loading stopped at "
                "this key: the bindings after it, the curves and the window's place keep their "
                "start values" % setup], "stderr: %r" % lines)
            # the slots it names are the run report's rule, held by its unit tests
            check(wait_for(lambda: len(report_lines(s, panel)) == 3, 15)
                  and report_lines(s, panel)[2].startswith("zq-thrust: joystick 0 (")
                  and report_lines(s, panel)[2].endswith(") is not connected"),
                  "stderr: %r" % report_lines(s, panel))
            window = s.wait_window(PANEL_TITLE)
            geometry = s.geometry(window)
            check(geometry == (880, 592, 104, 77), "panel after a failed load: %s" % (geometry,))
            # Ticks go on under the box: flapsdown, loaded before the bad slot.
            s.hold_key("k")
            got = listener.first(5)
            check(got == b"R/83\\-0.60", "flapsdown under the box sent %r" % (got,))
            time.sleep(0.2)
            img = s.screenshot("malformed")
            expect_all(img, geometry[:2], (0, 0, 8, 1), LIME, "flap label in combat colour")
            check(len(s.windows(BOX_TITLE)) == 1, "more than one box")
            # The box's OK ends it; the panel goes on.
            s.x("xdotool", "windowfocus", "--sync", str(box))
            s.x("xdotool", "key", "Return")
            check(wait_for(lambda: not s.windows(BOX_TITLE), 15), "box still open after Return")
            check(wait_for(lambda: not box_processes(panel.pid), 15), "box process left over")
            check(panel.poll() is None, "panel ended with the box")
            s.hold_key("k")
            got = listener.first(5)
            check(got == b"R/83\\-0.34", "flapsdown after the box sent %r" % (got,))
            panel.send_signal(signal.SIGTERM)
            check(ended(panel, 5) == 0, "SIGTERM did not end the panel with 0")
        finally:
            listener.close()


def check_box_closing(args):
    """The box's text arrives whole, a NUL shown as zq-check shows it;
    Escape, the window's close button and a click on OK each close it, and
    the panel runs on."""
    with Session(args, "box-closing") as s:
        setup = b"[main]\r\nYaxis=J\x00K 1\r\n"
        for way in ("Escape", "close button", "OK clicked"):
            panel, box, pid = open_box(s, setup, tag=way.replace(" ", "-"))
            text = s.box_text(box)
            check(text == "'J?K' is not a valid integer value.", "box text %r" % text)
            if way == "Escape":
                s.x("xdotool", "windowfocus", "--sync", str(box))
                s.x("xdotool", "key", "Escape")
            elif way == "close button":
                subprocess.run([s.bin("zq_test_close_window"), str(box)], env=s.env, check=True)
            else:
                _, _, w, h = s.geometry(box)
                s.x("xdotool", "mousemove", "--window", str(box), str(w - 56), str(h - 29),
                    "click", "1")
            check(wait_for(lambda: not s.windows(BOX_TITLE) and gone(pid), 15),
                  "%s: the box is still there" % way)
            time.sleep(0.2)
            check(panel.poll() is None, "%s: the panel ended with the box" % way)
            panel.send_signal(signal.SIGTERM)
            check(ended(panel, 5) == 0, "%s: SIGTERM did not end the panel with 0" % way)


def check_box_owner(args):
    """Under icewm, with another window holding the focus: a load error's box
    leaves the focus where it was, is the panel's transient, and stands where
    the always-on-top panel does not cover it; a click still gives it the keys."""
    with Session(args, "box-owner") as s:
        s.start_wm()
        s.start("xmessage", ["-title", "zq other", "-geometry", "300x200+40+40", "the simulator"],
                tag="other")
        other = s.wait_window("zq other")
        s.x("xdotool", "windowactivate", "--sync", str(other))
        focused = wait_for(lambda: s.focus() not in (0, 1) and s.focus(), 5)
        check(focused, "the other window did not get the focus")
        panel, box, pid = open_box(s, "[main]\r\nYaxis=J 1\r\n")
        window = s.wait_window(PANEL_TITLE)
        s.ticking(panel)
        time.sleep(0.8)  # what a window manager does on a map, it has done by now
        check(s.focus() == focused, "the box took the focus at start (%s)" % s.focus())
        owner = s.x("xprop", "-id", str(box), "WM_TRANSIENT_FOR").stdout
        m = re.search(r"window id # (0x[0-9a-f]+)", owner)
        check(m and int(m.group(1), 16) == window, "WM_TRANSIENT_FOR %r, panel %#x" % (owner, window))
        bx, by, bw, bh = s.geometry(box)
        px, py, pw, ph = s.geometry(window)
        check(bx >= px + pw or px >= bx + bw or by >= py + ph or py >= by + bh,
              "the panel %s covers the box %s" % ((px, py, pw, ph), (bx, by, bw, bh)))
        s.x("xdotool", "mousemove", "--sync", str(bx + 10), str(by + 10), "click", "1")
        check(wait_for(lambda: s.focus() == box, 5), "a click did not give the box the keys")
        s.x("xdotool", "key", "Return")
        check(wait_for(lambda: not s.windows(BOX_TITLE) and gone(pid), 15), "box still open")
        check(panel.poll() is None, "panel ended with the box")


def check_box_gone_with_panel(args):
    """However the panel ends, every process of its box is gone within a
    second, and the box's window with it."""
    with Session(args, "box-gone-with-panel") as s:
        ways = (("SIGTERM", signal.SIGTERM), ("SIGINT", signal.SIGINT),
                ("SIGHUP", signal.SIGHUP), ("SIGKILL", signal.SIGKILL), ("window closed", None))
        for name, sig in ways:
            panel, box, pid = open_box(s, "[main]\r\nYaxis=J 1\r\n", tag=name.replace(" ", "-"))
            tree = process_tree(pid)
            started = time.monotonic()
            if sig is None:
                window = s.wait_window(PANEL_TITLE)
                subprocess.run([s.bin("zq_test_close_window"), str(window)], env=s.env,
                               check=True)
            else:
                panel.send_signal(sig)
            went = wait_for(lambda: all(gone(p) for p in tree), 1.0, 0.01)
            took = time.monotonic() - started
            check(went, "%s: after %.2f s the box is still there (%r)" %
                  (name, took, [p for p in tree if not gone(p)]))
            # Its window goes once the X server has seen the box's connection
            # close, in the server's own time on a busy machine.
            check(wait_for(lambda: not s.windows(BOX_TITLE), 10),
                  "%s: the box's window outlived its process" % name)
            rc = ended(panel, 5)
            check(rc == (-signal.SIGKILL if sig == signal.SIGKILL else 0),
                  "%s: the panel's exit code %r" % (name, rc))


def check_box_storm(args):
    """On an X server with its built-in fonts alone the box still shows; an
    error on every tick (every send fails: the panel has a network of its
    own without loopback) keeps one box and one box process, and after OK the
    next error opens the next box."""
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        print("box_storm: needs root for unshare -n; skipped")
        return
    with Session(args, "box-storm", xvfb_args=["-fp", "built-ins"]) as s:
        s.write_setup(QUIET + "PowerPlus=-1 65\r\nPowerMinus=-1 90\r\n")
        panel = s.start("zq-thrust", wrap=["unshare", "-n"])
        s.wait_window(PANEL_TITLE)
        seen = set()
        for key in ("a", "z", "a", "z", "a", "z"):
            s.hold_key(key, 10)
            seen.update(p for p, _ in box_processes(panel.pid))
        box = s.wait_window(BOX_TITLE)
        check(len(seen) == 1, "box processes started: %d" % len(seen))
        check(len(s.windows(BOX_TITLE)) == 1, "more than one box")
        check(s.box_text(box).startswith("Socket Error # "), "box text %r" % s.box_text(box))
        # Only the start-up report: no box failed, and the failing sends are
        # one line however many ticks failed.
        said = s.output(panel)
        check("no error box" not in said and said.count("failed") == 1, "stderr: %r" % said)
        s.x("xdotool", "windowfocus", "--sync", str(box))
        s.x("xdotool", "key", "Return")
        check(wait_for(lambda: all(gone(p) for p in seen), 15), "box still open after Return")
        s.hold_key("a", 6)
        s.hold_key("z", 6)
        check(wait_for(lambda: s.windows(BOX_TITLE), 15), "no box for the errors after OK")
        check(panel.poll() is None, "the panel ended")
        panel.send_signal(signal.SIGTERM)
        check(ended(panel, 5) == 0, "SIGTERM did not end the panel with 0")


def check_no_display(args):
    """Without an X server: a message naming the cause, exit code 1, no hang."""
    with Session(args, "no-display", x=False) as s:
        for tag, env in (("unset", {}), ("absent", {"DISPLAY": ":7913"})):
            p = s.start("zq-thrust", env=env, tag=tag)
            rc = ended(p, 5)
            check(rc == 1, "%s DISPLAY: exit code %r" % (tag, rc))
            text = s.output(p)
            check("DISPLAY" in text if tag == "unset" else ":7913" in text,
                  "%s DISPLAY: message %r" % (tag, text))
        # --help and --version need no display and start no panel.
        for option, start in (("--help", "Usage: zq-thrust [--setup PATH]\n"),
                              ("--version", "zq-thrust ")):
            p = s.start("zq-thrust", [option], tag=option[2:])
            check(ended(p, 5) == 0, "%s: exit code %r" % (option, p.poll()))
            check(s.output(p, "stdout").startswith(start) and s.output(p) == "",
                  "%s printed %r / %r" % (option, s.output(p, "stdout"), s.output(p)))
        p = s.start("zq-thrust", ["--setup"], tag="bad-option")
        check(ended(p, 5) == 2 and "--setup needs a file or a folder" in s.output(p),
              "--setup without a path: %r, %r" % (p.poll(), s.output(p)))


def check_missing_font(args):
    """A font that cannot be read: stderr and an "Application Error" box name
    it; after OK the run ends with exit code 1 and no panel was shown."""
    with Session(args, "missing-font") as s:
        s.write_setup(QUIET)
        panel = s.start("zq-thrust", env={"ZQ_FONT": "/nonexistent/zq-font.ttf"})
        box = s.wait_window("Application Error")
        check("/nonexistent/zq-font.ttf" in s.output(panel), "stderr: %r" % s.output(panel))
        check(not s.windows(PANEL_TITLE), "panel shown without its font")
        s.x("xdotool", "windowfocus", "--sync", str(box))
        s.x("xdotool", "key", "Return")
        rc = ended(panel, 5)
        check(rc == 1, "exit code %r" % rc)


def check_probe(args):
    """zq-probe names the virtual key of every key that goes down, each of
    several short presses (keys follow the server's events between the
    once-a-second keymap queries)."""
    with Session(args, "probe") as s:
        probe = s.start("zq-probe", ["--seconds", "300"])
        check(wait_for(lambda: "Watching keys" in s.output(probe, "stdout"), 30),
              "zq-probe did not start watching: %r" % s.output(probe, "stdout"))

        def press(key):
            # Down until the probe has printed it: a press and release both
            # queued between two of its looks would leave no trace.
            before = s.output(probe, "stdout").count("key down:")
            s.x("xdotool", "keydown", key)
            seen = wait_for(lambda: s.output(probe, "stdout").count("key down:") > before, 10,
                            0.02)
            s.x("xdotool", "keyup", key)
            check(seen, "zq-probe did not see %s go down" % key)

        for key in ("i", "F5", "Shift_R", "KP_Enter", "grave"):
            press(key)
        # N between the presses of M: the look that shows N down has seen M
        # go up, so the next M is a new press, however busy the machine.
        for _ in range(6):
            press("m")
            press("n")
        probe.send_signal(signal.SIGINT)
        check(ended(probe, 10) == 0, "Ctrl+C did not end zq-probe with 0")
        out = s.output(probe, "stdout")
        check("No joystick answers (ids 0 to 15)." in out, "joystick list: %r" % out)
        for vk in (73, 116, 16, 13, 192):
            check("(virtual key %d, " % vk in out, "virtual key %d missing from %r" % (vk, out))
        # the binding to write: the key's character where it has one, else the numeric form
        for text in ("binding I  (-1 73)", "binding -1 116  (F5)", "binding `  (-1 192)"):
            check(text in out, "%r missing from %r" % (text, out))
        check(out.count("binding M  (-1 77)") == 6, "six presses of M: %r" % out)
        timed = s.start("zq-probe", ["--seconds", "1"], tag="zq-probe-seconds")
        check(ended(timed, 30) == 0, "zq-probe --seconds 1 did not end by itself with 0")



def own_network():
    """Moves this process (and what it starts from now on) into a network
    namespace of its own, loopback up: the check may take its address away.
    Needs root."""
    import ctypes
    if os.geteuid() != 0:
        raise Skip("needs root for a network namespace of its own")
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x40000000) != 0:  # CLONE_NEWNET
        raise Skip("unshare(CLONE_NEWNET): %s" % os.strerror(ctypes.get_errno()))
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)


# Timed input: (grid place, command). A key held for many ticks, a tap, Num
# Lock toggled and a fine step, a send that fails while the loopback has no
# address (the changes go out again once it has), and the test stick
# (ZQ_TEST_STICK) moved on both axes and its hat, its throttle button held
# (fine steps: Num Lock is on), then left still; idle stretches between.
SKIP_SCRIPT = [
    (10, ["xdotool", "keydown", "u"]), (40, ["xdotool", "keyup", "u"]),
    (60, ["xdotool", "keydown", "k"]), (62, ["xdotool", "keyup", "k"]),
    (80, ["xdotool", "key", "Num_Lock"]),
    (109, ["ip", "addr", "del", "127.0.0.1/8", "dev", "lo"]),
    (110, ["xdotool", "keydown", "k"]), (112, ["xdotool", "keyup", "k"]),
    (120, ["ip", "addr", "add", "127.0.0.1/8", "dev", "lo"]),
    (135, ["stick", "a 1 12000"]), (136, ["stick", "a 0 -20000"]), (137, ["stick", "a 1 -3000"]),
    (150, ["stick", "b 4 1"]), (151, ["stick", "h 2"]), (156, ["stick", "b 4 0"]),
    (160, ["stick", "a 0 32767"]), (161, ["stick", "a 0 32767"]),
    (185, None),
]
SKIP_SETUP = ("[main]\r\nYaxis=0 1\r\nXaxis=0 0\r\nPowerMinus=0 5\r\n"
              "PowerPlus=U\r\nflapsdown=K\r\n")


# Input that wakes a sleeping panel (an address taken from the loopback
# does not).
WAKES = ("xdotool", "stick")


def place_input(trace, place, skip):
    """Waits until input given now is seen by the tick at `place`: the tick
    at the place before has run and read its input (it reads it at once
    after its trace line), or, on a panel that may sleep, its time passed
    without it."""
    idle_until = trace.grid(place - 1) + 0.015
    while True:
        start, last = trace.ticks()[-1]
        if last >= place - 1:
            time.sleep(max(0.0, start + 0.003 - time.monotonic()))
            return
        now = time.monotonic()
        if skip == "1" and now >= idle_until:
            return
        check(now < idle_until + 10, "no tick at place %d within 10 s" % (place - 1))
        time.sleep(0.001)


def misplaced(trace, placed, skip):
    """Why the input of a run did not land where it was meant to, or None.
    `placed` holds (place, kind, given from, given until) of each input."""
    ticks = trace.ticks()
    for place, kind, before, after in placed:
        ran = [start for start, p in ticks if p == place - 1]
        if ran and before < ran[0] + 0.003:
            return "%s at place %d came %.1f ms after the tick before it started" % (
                kind, place, (before - ran[0]) * 1e3)
        later = [(start, p) for start, p in ticks if p >= place]
        if later and later[0][0] <= after:
            return "%s at place %d took until %.1f ms after the tick at %d started" % (
                kind, place, (after - later[0][0]) * 1e3, later[0][1])
        if kind in WAKES and (not later or later[0][1] != place):
            return "%s at place %d was first seen at place %s" % (
                kind, place, later[0][1] if later else "none")
    # Ticks are left out only by a sleeping panel that input then woke; any
    # other gap is a tick the machine kept the panel from.
    woken = {place for place, kind, _, _ in placed if kind in WAKES}
    places = [p for _, p in ticks]
    for a, b in zip(places, places[1:]):
        if b != a + 1 and (skip == "0" or b not in woken):
            return "ticks %d..%d did not run" % (a + 1, b - 1)
    return None


def run_skip_script(args, skip, attempt):
    """One run of SKIP_SCRIPT; (sends as (place, datagram or "failed"),
    ticks run) or None when the machine kept an input from its place."""
    with Session(args, "tick-skip-%s-%d" % (skip, attempt)) as s:
        listener = Listener(s)
        try:
            s.write_setup(SKIP_SETUP)
            fifo = os.path.join(s.dir, "stick")
            os.mkfifo(fifo)
            panel = s.start("zq-thrust", env={"ZQ_TICK_TRACE": "1", "ZQ_TICK_SKIP": skip,
                                              "ZQ_TEST_STICK": fifo})
            s.wait_window(PANEL_TITLE)
            trace = panel.trace
            s.ticking(panel)
            # One xdotool for the whole run, reading commands as they come:
            # no start-up in the way of the timing.
            keys = subprocess.Popen(["xdotool", "-"], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, env=s.env, text=True, bufsize=1)
            s.procs.append(keys)
            stick = open(fifo, "w", buffering=1)  # the panel holds it open already
            placed = []
            for place, cmd in SKIP_SCRIPT:
                place_input(trace, place, skip)
                if cmd is None:
                    break
                before = time.monotonic()
                if cmd[0] == "xdotool":
                    # The location's answer comes once the key is done.
                    keys.stdin.write(" ".join(cmd[1:]) + "\ngetmouselocation\n")
                    keys.stdout.readline()
                elif cmd[0] == "stick":
                    stick.write(cmd[1] + "\n")
                else:
                    subprocess.run(cmd, env=s.env, check=True, capture_output=True, timeout=10)
                placed.append((place, cmd[0], before, time.monotonic()))
            keys.stdin.close()
            stick.close()
            datagrams = listener.receive(0.3)  # from the panel while it runs
            panel.send_signal(signal.SIGTERM)
            check(ended(panel, 5) == 0, "SIGTERM did not end the panel with 0")
        finally:
            listener.close()
        problem = misplaced(trace, placed, skip)
        if problem:
            print("run %s/%d: %s" % (skip, attempt, problem))
            return None
        sends = trace.sends()
        ok = [p for p, result in sends if result == "ok"]
        check(len(ok) == len(datagrams), "%d sends traced, %d datagrams: %r"
              % (len(ok), len(datagrams), datagrams))
        got = iter(datagrams)
        result = [(p, next(got).decode() if r == "ok" else "failed") for p, r in sends]
        return result, [p for _, p in trace.ticks()]


def check_tick_skip(args):
    """The same input at the same grid places with tick skipping off
    (ZQ_TICK_SKIP=0) and on: the same datagrams from the same places, failed
    sends included; with skipping on, the idle stretches run no ticks. Each
    input waits for the panel's tick before its place; a run whose input the
    machine still kept from its place (or whose ticks it held up) is run
    again, at most five times."""
    own_network()
    # Real-time priority for this process and all it starts (the X server,
    # xdotool, the panel), where the system grants it: fewer runs again on a
    # busy machine. None of them spins. ZQ_TEST_REALTIME=0 leaves it out.
    if os.environ.get("ZQ_TEST_REALTIME") != "0":
        try:
            os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
        except OSError:
            pass
    runs = {}
    for skip in ("0", "1"):
        for attempt in range(5):
            runs[skip] = run_skip_script(args, skip, attempt)
            if runs[skip] is not None:
                break
        check(runs[skip] is not None, "the input never kept to its places (busy machine)")
    (off, places_off), (on, places_on) = runs["0"], runs["1"]
    ticks_off, ticks_on = len(places_off), len(places_on)
    with open(os.path.join(args.artifacts, "tick-skip.txt"), "w") as f:
        f.write("off (%d ticks): %r\non (%d ticks): %r\n" % (ticks_off, off, ticks_on, on))
    check(off == on, "skipping changed the output:\n off %r\n on  %r" % (off, on))
    check(any(r == "failed" for _, r in off), "no send failed: %r" % off)
    check(any(135 <= p <= 162 for p, _ in off), "the stick sent nothing: %r" % off)
    check(ticks_on < ticks_off * 0.6,
          "ticks run: %d with skipping off, %d on" % (ticks_off, ticks_on))
    # The stick left still sleeps like the keys do.
    still = [p for p in places_on if 170 <= p < 185]
    check(not still, "ticks while the stick was left still: %r" % still)


# Twins that only their serials tell apart, pinned in [sticks]: test sticks
# 1 (serial A1) and 2 (serial B2) of ZQ_TEST_STICK, the start-up stick pulled.
TWINS_SETUP = ("[main]\r\nYaxis=0 1\r\nXaxis=1 0\r\n[sticks]\r\n"
               '0=044f:b10a "Twin Stick" serial=A1\r\n1=044f:b10a "Twin Stick" serial=B2\r\n')
TWIN = {1: 'plug 1 044f:b10a "Twin Stick" serial=A1', 2: 'plug 2 044f:b10a "Twin Stick" serial=B2'}


def check_pinned_twins(args):
    """Two test sticks alike but for their serials, plugged in one order and
    then, after both were pulled, in the other: A's Y always arrives as
    joystick 0's pitch and B's X as joystick 1's roll, and the start-up
    report names each pin found."""
    own_network()  # port 21100 of our own, whoever else listens on the machine's
    with Session(args, "pinned-twins") as s:
        listener = Listener(s)
        try:
            s.write_setup(TWINS_SETUP)
            fifo = os.path.join(s.dir, "stick")
            os.mkfifo(fifo)
            panel = s.start("zq-thrust", env={"ZQ_TEST_STICK": fifo})
            s.wait_window(PANEL_TITLE)
            stick = open(fifo, "w", buffering=1)
            stick.write("unplug 0\n")
            seen = []

            def expect(commands, pitch, roll):
                for c in commands:
                    stick.write(c + "\n")
                want = ["/87\\" + pitch, "/85\\" + roll]
                deadline = time.monotonic() + 20
                while time.monotonic() < deadline and want:
                    data = listener.next(1.0)
                    if data is None:
                        continue
                    text = data.decode("latin-1")
                    seen.append(text)
                    want = [w for w in want if w not in text]
                check(not want, "pitch %s / roll %s never came: %r" % (pitch, roll, seen))

            # A then B; full pitch from A, full roll from B.
            expect([TWIN[1], TWIN[2], "@1 a 1 32767", "@2 a 0 32767"], "1", "1")
            # Both pulled: the pinned ids read as sticks that never answered.
            expect(["unplug 1", "unplug 2"], "-1", "-1")
            # B then A: the system's ids trade places, the pins do not.
            expect([TWIN[2], TWIN[1], "@1 a 1 -16384", "@2 a 0 16384"], "-0.5", "0.5")
            check(not any("/87\\0.5" in d or "/85\\-0.5" in d for d in seen),
                  "an axis went to the other twin's id: %r" % seen)
            stick.close()
            panel.send_signal(signal.SIGTERM)
            check(ended(panel, 5) == 0, "SIGTERM did not end the panel with 0")
        finally:
            listener.close()
        out = s.output(panel)
        for id_, serial in ((0, "A1"), (1, "B2")):
            line = ('zq-thrust: joystick %d is pinned to 044f:b10a "Twin Stick" serial=%s: '
                    "found by serial" % (id_, serial))
            check(line in out, "%r missing from %r" % (line, out))


CHECKS = {
    "placement": check_placement,
    "flaps_preview": check_flaps_preview,
    "udp_power": check_udp_power,
    "numlock_step": check_numlock_step,
    "second_copy": check_second_copy,
    "close_window": check_close_window,
    "malformed_binding": check_malformed_binding,
    "box_closing": check_box_closing,
    "box_gone_with_panel": check_box_gone_with_panel,
    "box_owner": check_box_owner,
    "box_storm": check_box_storm,
    "no_display": check_no_display,
    "missing_font": check_missing_font,
    "probe": check_probe,
    "focus": check_focus,
    "start_report": check_start_report,
    "send_report": check_send_report,
    "tick_skip": check_tick_skip,
    "pinned_twins": check_pinned_twins,
}


class Skip(Exception):
    """The check cannot run here (it needs root, say)."""


SKIPPED = 77  # ctest's SKIP_RETURN_CODE


def main(checks=CHECKS):
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(checks))
    parser.add_argument("--panel", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--closer", required=True)
    parser.add_argument("--check-tool", dest="check_tool")
    parser.add_argument("--replay")
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    try:
        checks[args.check](args)
    except Skip as e:
        print("skipped %s: %s" % (args.check, e))
        return SKIPPED
    except Failure as e:
        print("FAIL %s: %s" % (args.check, e))
        print("screenshots and output under %s" % args.artifacts)
        return 1
    print("ok %s" % args.check)
    return 0


if __name__ == "__main__":
    sys.exit(main())
