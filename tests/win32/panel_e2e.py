#!/usr/bin/env python3
"""zq-thrust.exe as a player runs it, under wine and an X server.

  --case first-tick         no Setup.ini, no joystick: the first tick sends
                            R/87\\-1; the panel stands at the right edge at
                            screen height / 1.6; a second copy exits 0 at once;
                            closing the window ends the run with 0.
  --case pinned-no-stick    wine's registry holds joystick OEM names (written
                            by `reg add`) and Setup.ini pins joystick 0 in
                            [sticks]; with no stick the first tick sends
                            R/87\\-1 as without the pin, and the start-up
                            report says the pinned stick is not connected.
  --case malformed-binding  "Yaxis=joy 1": a box captioned with the program
                            title says "'JOY' is not a valid integer value.",
                            ticks go on under it, the panel keeps the design's
                            place and runs on after OK.

Needs DISPLAY and WINEPREFIX (scripts/test.d/20-windows.sh sets both),
xdotool and xwininfo; exits 77 (skipped) without them.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import Failure, PanelPort, check, from_command  # noqa: E402

SKIPPED = 77


def PanelListener(exe):
    """The simulator's end: only datagrams from a process of `exe` count."""
    return PanelPort(from_command(exe), timeout=120)


def x_windows(name):
    pattern = "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in name)
    out = subprocess.run(["xdotool", "search", "--name", "^%s$" % pattern],
                         capture_output=True, text=True).stdout
    return [int(w) for w in out.split()]


def geometry(window):
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True).stdout
    field = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height"), "IsViewable" in out)


def screen_size():
    out = subprocess.run(["xwininfo", "-root"], capture_output=True, text=True).stdout
    return (int(re.search(r"Width:\s+(\d+)", out).group(1)),
            int(re.search(r"Height:\s+(\d+)", out).group(1)))


def wait_for(what, predicate, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise Failure("timed out waiting for " + what)


def click(x, y):
    # Held across a few ticks: the panel polls the button every 50 ms.
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"], check=True)
    time.sleep(0.4)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)


class Run:
    def __init__(self, args):
        self.args = args
        self.panels = []

    def start(self):
        # stderr is a file: the program writes its report lines there too.
        err = open(os.path.join(self.args.work, "stderr-%d.txt" % len(self.panels)), "wb")
        p = subprocess.Popen([self.args.wine, self.args.exe], cwd=self.args.work,
                             stdout=subprocess.DEVNULL, stderr=err)
        p.stderr_path = err.name
        self.panels.append(p)
        return p

    def report(self, panel):
        """The program's own lines on stderr (wine's messages left out)."""
        with open(panel.stderr_path, "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        return [line for line in lines if line.startswith("zq-thrust: ")]

    def work_path(self):
        return "Z:" + os.path.realpath(self.args.work).replace("/", "\\")

    def close_panel(self, panel):
        # The task bar's Close: WM_CLOSE to the program's top-level windows.
        subprocess.run([self.args.wine, "taskkill", "/im", os.path.basename(self.args.exe)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            return panel.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the panel did not end within 30 s of its window being closed")

    def cleanup(self):
        for p in self.panels:
            if p.poll() is None:
                p.kill()
                p.wait()


def expected_placement():
    width, height = screen_size()
    top = round(height / 1.6)  # Python rounds exact halves to even, as the panel does
    return (width - 42, top, 42, 77)


def first_tick(run, listener):
    panel = run.start()
    data = listener.next(timeout=60)
    check(data is not None, "no datagram within 60 s of the start")
    check(data == b"R/87\\-1", "first datagram %r, expected b'R/87\\\\-1'" % data)
    extra = listener.next(timeout=1.5)
    check(extra is None, "a datagram though nothing changed: %r" % extra)

    windows = wait_for("the panel window", lambda: x_windows("ZQ - Thrust"), 30)
    check(len(windows) == 1, "%d windows titled 'ZQ - Thrust'" % len(windows))
    place = wait_for("the panel to be shown", lambda: (lambda g: g if g[4] else None)(
        geometry(windows[0])), 30)
    check(place[:4] == expected_placement(),
          "panel at %s (left, top, width, height), expected %s on a %dx%d screen"
          % (place[:4], expected_placement(), *screen_size()))
    print("first datagram %r; panel at %s" % (data, place[:4]))
    lines = run.report(panel)
    check(lines == [
        "zq-thrust: no Setup.ini in %s: running on the built-in defaults" % run.work_path(),
        "zq-thrust: joystick 0 (Yaxis, trimbtn, usetrim, useYtrim, trimXbtn, trimZbtn, fire, "
        "Fire2, Fire12, curveup, curvedown, resetbtn, flapsup, flapsdown, IncZtrim, DecZtrim, "
        "PowerMinus, PowerPlus) is not connected: its axes read -100 until it answers"],
        "start-up report %r" % lines)
    version = subprocess.run([run.args.wine, run.args.exe, "--version"], capture_output=True,
                             timeout=60)
    check(version.returncode == 0 and version.stdout.startswith(b"zq-thrust 0."),
          "--version: %d %r" % (version.returncode, version.stdout))

    started = time.time()
    second = run.start()
    try:
        code = second.wait(timeout=60)
    except subprocess.TimeoutExpired:
        raise Failure("the second copy is still running after 60 s")
    check(code == 0, "the second copy ended with %d" % code)
    check(len(x_windows("ZQ - Thrust")) == 1, "the second copy made a window")
    stray = listener.next(timeout=0.5)
    check(stray is None, "a datagram while the second copy ran: %r" % stray)
    print("second copy ended with 0 after %.1f s (wine's own start included)"
          % (time.time() - started))

    check(panel.poll() is None, "the first panel ended when the second was refused")
    code = run.close_panel(panel)
    check(code == 0, "closing the window ended the run with %d" % code)


def pinned_no_stick(run, listener):
    # As the joystick driver leaves them for a stick once plugged: the id's
    # OEM key in the user's settings, its name in the machine's.
    config = ("System\\CurrentControlSet\\Control\\MediaResources\\Joystick\\"
              "DINPUT.DLL\\CurrentJoystickSettings")
    oem = ("System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\"
           "Joystick\\OEM\\VID_044F&PID_B10A")
    for key, name, value in (("HKCU\\" + config, "Joystick1OEMName", "VID_044F&PID_B10A"),
                             ("HKLM\\" + oem, "OEMName", "Flight Stick")):
        # Not through pipes: wine's services, which a first wine command may
        # start, would hold them open.
        added = subprocess.run([run.args.wine, "reg", "add", key, "/v", name, "/t", "REG_SZ",
                                "/d", value, "/f"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
        check(added.returncode == 0, "reg add %s %s: exit %d" % (key, name, added.returncode))
    pin = '044f:b10a "Flight Stick" serial=0A1B2C'
    with open(os.path.join(run.args.work, "Setup.ini"), "w", newline="") as f:
        f.write("[sticks]\r\n0=%s\r\n" % pin)
    panel = run.start()
    data = listener.next(timeout=60)
    check(data == b"R/87\\-1", "first datagram %r, expected b'R/87\\\\-1' as without the pin" % data)
    extra = listener.next(timeout=1.5)
    check(extra is None, "a datagram though nothing changed: %r" % extra)
    wait_for("the start-up report", lambda: len(run.report(panel)) >= 2, 30)
    lines = run.report(panel)
    check("zq-thrust: joystick 0 is pinned to %s: not connected, its axes read -100 until it "
          "is plugged in" % pin in lines, "start-up report %r" % lines)
    check(panel.poll() is None, "the panel runs on")
    code = run.close_panel(panel)
    check(code == 0, "closing the window ended the run with %d" % code)
    print("no stick, joystick 0 pinned: first datagram %r; %r" % (data, lines))


def malformed_binding(run, listener):
    with open(os.path.join(run.args.work, "Setup.ini"), "w", newline="") as f:
        # flapsdown on the left mouse button, read before the broken slot
        f.write("[main]\r\nflapsdown=-1 1\r\nYaxis=joy 1\r\n")
    panel = run.start()
    title = "zq-thrust"  # zq-thrust.exe: the name up to its first dot
    boxes = wait_for("a box titled %r" % title, lambda: x_windows(title), 60)
    probe = subprocess.run([run.args.wine, run.args.probe, title, "30"], capture_output=True)
    check(probe.returncode == 0, "zq_box_probe found no box (exit %d)" % probe.returncode)
    check(probe.stdout == b"'JOY' is not a valid integer value.",
          "box text %r" % probe.stdout)
    check(len(boxes) == 1, "%d boxes" % len(boxes))
    setup = run.work_path() + "\\Setup.ini"
    lines = run.report(panel)
    check(lines[:2] == [
        "zq-thrust: settings from " + setup,
        "zq-thrust: %s:3: Yaxis: 'JOY' is not a valid integer value. Loading stopped at this "
        "key: the bindings after it, the curves and the window's place keep their start values"
        % setup], "report lines %r" % lines)

    # The load ended before it was shown: still hidden, at the design's place.
    panel_windows = x_windows("ZQ - Thrust")
    check(len(panel_windows) == 1, "%d panel windows" % len(panel_windows))

    # Ticks go on under the box: a click (on the box) moves the flaps.
    bx, by, _, _, _ = geometry(boxes[0])
    click(bx + 8, by + 8)
    data = listener.next(timeout=10)
    check(data == b"R/83\\-0.60", "under the box the click gave %r" % data)

    subprocess.run([run.args.wine, run.args.probe, title, "10", "--ok"], capture_output=True)
    wait_for("the box to close", lambda: not x_windows(title), 30)
    place = wait_for("the panel to be shown", lambda: (lambda g: g if g[4] else None)(
        geometry(panel_windows[0])), 30)
    check(place[:4] == (880, 592, 104, 77),
          "after the early end of the load the panel stands at %s, not the design's "
          "(880, 592, 104, 77)" % (place[:4],))

    click(place[0] + 60, place[1] + 30)
    data = listener.next(timeout=10)
    check(data == b"R/83\\-0.34", "after the box the click gave %r" % data)
    check(not x_windows(title), "a second box came up")
    print("box %r: %r; the panel ran on under it and after it" % (title, probe.stdout))

    code = run.close_panel(panel)
    check(code == 0, "closing the window ended the run with %d" % code)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--case", required=True, choices=["first-tick", "pinned-no-stick",
                                                            "malformed-binding"])
    ap.add_argument("--wine", required=True)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--probe", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    args.exe = os.path.abspath(args.exe)
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("skipped: needs DISPLAY and WINEPREFIX (scripts/test.d/20-windows.sh sets both)")
        return SKIPPED
    for tool in ("xdotool", "xwininfo"):
        if shutil.which(tool) is None:
            print("skipped: %s is not installed" % tool)
            return SKIPPED

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    run = Run(args)
    listener = PanelListener(args.exe)
    try:
        {"first-tick": first_tick, "pinned-no-stick": pinned_no_stick,
         "malformed-binding": malformed_binding}[args.case](run, listener)
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        run.cleanup()
        listener.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
